// SPDX-License-Identifier: MIT
// The command line: slash options, compared without regard to case.
#pragma once

#include <cstdint>

#include "sysfile/model.h"
#include "upgrade/upgrade.h"

namespace datlift {

struct Options {
  double target_value = 0;  // the default target, or the last "/V"
  bool model_accepted = false;
  Model selected_model = Model::plx_8;  // meaningful only when model_accepted
  bool identify_only = false;
  NameOverrides names;
};

// Reads every argument in order, the target version value first being `default_target`; false at
// the first one that no option accepts (the run then prints the usage line). A null argument is
// accepted by no option.
bool parse_options(int argc, const char* const* argv, double default_target, Options& options);

}  // namespace datlift
