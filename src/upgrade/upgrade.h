// SPDX-License-Identifier: MIT
// The upgrade steps: each turns the in-memory data of one layout version into that of the next,
// and cannot fail. The chain (chain.h) says which runs when, and prints its conversion line.
#pragma once

#include <array>
#include <cstddef>

#include "common/console.h"
#include "sysfile/model.h"
#include "sysfile/working_set.h"

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
};

// Text and NUL of each given name into the name field of its entry of the 40-byte axis name
// table; the bytes behind the NUL and the entry's seven values keep what they held.
void apply_name_overrides(const NameOverrides& names, WorkingSet& ws);

// Renews a header for the version a step converts to: empties header texts 1 and 2 (their first
// byte only) and stores "SYSFILE <model code> V<version>" and its NUL at the start of the
// identification field; every other byte keeps what it held.
void renew_header(Bytes header, const HeaderForm& form, Model model, const char* version);

// Grows the axis records from 584 to 676 bytes and the rows of axis table A from 14 to 32 values.
void upgrade_v171_to_v200(StepContext& step);

// Widens the axis name entries, the general record and axis table B.
void upgrade_v200_to_v210(StepContext& step);

// Applies the given names, builds the long header, re-lays the axis records from 676 to 680
// bytes.
void upgrade_v210_to_v250(StepContext& step);

// For a file that is V2.50 already: applies the given names and writes the identification
// string of the selected model; nothing else changes.
void refresh_v250(StepContext& step);

}  // namespace datlift
