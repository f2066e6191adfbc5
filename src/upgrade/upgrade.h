// SPDX-License-Identifier: MIT
// What the upgrade steps work on, and what they share. Each step (v<from>_to_v<to>.cc, declared
// with its row in version_table.h) turns the in-memory data of one version into that of the next,
// and cannot fail. The chain (chain.h) says which runs when, and prints its conversion line.
#pragma once

#include <array>
#include <cstddef>

#include "common/console.h"
#include "sysfile/model.h"
#include "upgrade/versions.h"
#include "upgrade/working_set.h"

namespace datlift {

// Axis names given on the command line, for entries 0, 1, ... in the order given. Each slot holds
// at most kMaxOverrideName characters followed by NUL bytes up to its end.
constexpr std::size_t kMaxOverrideName = 11;
struct NameOverrides {
  std::array<std::array<char, kMaxOverrideName + 1>, kAxisCount> slots{};
  std::size_t count = 0;
};

struct StepContext {
  WorkingSet& ws;
  Console& console;
  Model file_model;
  Model selected_model;
  const NameOverrides& names;
  const Version& to;  // the version the step makes
};

// Text and NUL of each given name into the name field of its entry of the axis name table of the
// version the step makes (40-byte entries); the bytes behind the NUL and the entry's seven values
// keep what they held.
void apply_name_overrides(const StepContext& step);

// Renews the header of the form that the version the step makes is written with: empties header
// texts 1 and 2 (their first byte only) and stores "SYSFILE <model code> V<version>" and its NUL
// at the start of the identification field; every other byte keeps what it held.
void renew_header(const StepContext& step);

}  // namespace datlift
