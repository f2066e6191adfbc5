// SPDX-License-Identifier: MIT
// The course of one run, from the banner to the exit code.
#pragma once

#include "common/console.h"
#include "mcfg/mcfg_block.h"
#include "run/run_files.h"
#include "sysfile/system_file.h"
#include "sysfile/working_set.h"

namespace datlift {

// The fixed storage of a run; all zero when the run starts.
struct Workspace {
  WorkingSet ws;
  McfgBlock mcfg;
  SystemImage image;
};

// Runs the program on the arguments (its own name excluded) and returns the exit code. Where
// `why` is given, a refusal of the file is explained there, in one line, before its message.
int run_datlift(int argc, const char* const* argv, RunFiles& files, Console& console,
                Workspace& space, Console* why = nullptr);

}  // namespace datlift
