// SPDX-License-Identifier: MIT
// The versions of SYSTEM.DAT: one row each, oldest first. Every other rule about versions (the
// chain, the working set's instances, the header text each step writes, the newest version and
// the default target, the texts of messages and explanations, the inspector's and the page's
// lists) is derived from this table. Adding a version is one row here, one step file, and its
// test (doc/design.md).
#pragma once

#include "upgrade/upgrade.h"
#include "upgrade/versions.h"

namespace datlift {

// The version numbers that the steps name.
constexpr int kV171 = 171;
constexpr int kV200 = 200;
constexpr int kV210 = 210;
constexpr int kV250 = 250;

// The steps, each in its own file (v<from>_to_v<to>.cc).

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

inline constexpr Version kVersionRows[] = {
    {kV171,
     "1.71",
     HeaderKind::short_header,
     {own(per_axis(kAxisRecord171)), own(per_axis(kNameEntry39)), own(kGeneral25),
      own(per_axis(kTableARow14)), own(per_axis(kTableBRow9))},
     {kV171, BlockKind::axis_names},
     nullptr,
     nullptr,
     ModelSet::only(Model::plx_8),  // V1.71 files exist for PLX-8 only, and convert for it only
     false},
    {kV200,
     "2.00",
     HeaderKind::short_header,
     // Axis table A keeps its size, yet gets an instance of its own: each step writes only the
     // instances of the version it makes, and the V2.00 to V2.10 step copies the table over.
     {own(per_axis(kAxisRecord200)), shared(per_axis(kNameEntry39)), shared(kGeneral25),
      own(per_axis(kTableARow32)), shared(per_axis(kTableBRow9))},
     {kV200, BlockKind::axis_names},
     upgrade_v171_to_v200,
     nullptr,
     ModelSet::all(),
     false},
    {kV210,
     "2.10",
     HeaderKind::short_header,
     {shared(per_axis(kAxisRecord200)), own(per_axis(kNameEntry40)), own(kGeneral28),
      own(per_axis(kTableARow32)), own(per_axis(kTableBRow16))},
     {kV200, BlockKind::axis_names},  // the 39-byte table that the V2.00 file had
     upgrade_v200_to_v210,
     nullptr,
     ModelSet::all(),
     true},
    {kV250,
     "2.50",
     HeaderKind::long_header,
     {own(per_axis(kAxisRecord250)), shared(per_axis(kNameEntry40)), shared(kGeneral28),
      shared(per_axis(kTableARow32)), shared(per_axis(kTableBRow16))},
     {kV250, BlockKind::axis_records},
     upgrade_v210_to_v250,
     refresh_v250,
     ModelSet::all(),
     true},
};

inline constexpr Versions kVersions = kVersionRows;

static_assert(well_formed(kVersions));
static_assert(file_size(kVersionRows[0]) == 13671 && file_size(kVersionRows[1]) == 16623 &&
              file_size(kVersionRows[2]) == 17652 && file_size(kVersionRows[3]) == 18620);

// The working set of the product's versions, with its storage.
using ProductWorkingSet = WorkingSetOf<instance_bytes(kVersions)>;

// The longest file any version is written as.
constexpr std::size_t kMaxFileSize = largest_file(kVersions);

}  // namespace datlift
