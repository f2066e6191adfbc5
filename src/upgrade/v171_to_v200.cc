// SPDX-License-Identifier: MIT
#include "upgrade/moves.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

// V1.71 axis record -> V2.00 axis record: the array grows from 9 to 32 elements (23 new, zero),
// and the two 4-byte fields behind it move along by 92 bytes.
constexpr auto kAxisRecordRuns =
    join_moves(axis_record_moves(kAxisRecordForm171, kAxisRecordForm200));
static_assert(kAxisRecordRuns.count == 2);

// Axis table A rows grow from 14 to 32 values; values 14..31 are zero.
constexpr Move kTableARowMoves[] = {{0, 0, kTableARow14}};

}  // namespace

void upgrade_v171_to_v200(StepContext& step) {
  WorkingSet& ws = step.ws;
  renew_header(step);
  relayout(ws.block(kV171, BlockKind::axis_records), kAxisRecord171,
           ws.block(kV200, BlockKind::axis_records), kAxisRecord200, kAxisCount, kAxisRecordRuns);
  relayout(ws.block(kV171, BlockKind::table_a), kTableARow14, ws.block(kV200, BlockKind::table_a),
           kTableARow32, kAxisCount, kTableARowMoves);
}

}  // namespace datlift
