// SPDX-License-Identifier: MIT
#include "common/messages.h"
#include "upgrade/moves.h"
#include "upgrade/upgrade.h"

namespace datlift {
namespace {

// V1.71 axis record (584 bytes) -> V2.00 axis record (676 bytes). Offsets 0..539 hold six 8-byte
// fields, a 4-byte field, thirteen 24-byte fields, five 24-byte elements, four 8-byte fields, a
// raw 4-byte field and five 4-byte fields; all stay where they are. The array at 540 grows from
// 9 to 32 elements of 4 bytes (elements 9..31 at 576..667 are zero), and the two 4-byte fields
// behind it move along by 92 bytes.
constexpr Move kAxisRecordMoves[] = {
    {0, 0, 540},     // every field in front of the array
    {540, 540, 36},  // array elements 0..8
    {576, 668, 8},   // two 4-byte fields, behind the grown array
};

constexpr auto kAxisRecordRuns = join_moves(kAxisRecordMoves);

// Axis table A rows grow from 14 to 32 values; values 14..31 are zero.
constexpr Move kTableARowMoves[] = {{0, 0, kTableARow14}};

}  // namespace

void upgrade_v171_to_v200(StepContext& step) {
  WorkingSet& ws = step.ws;
  message::conversion(step.console, model_code(step.file_model), "1.71",
                      model_code(step.selected_model), "2.00");
  // "SYSFILE PLX-8 V2.00": the step runs for PLX-8 only.
  renew_header(ws.short_header, kShortHeader, Model::plx_8, "2.00");
  relayout(ws.axis_records_584, kAxisRecord171, ws.axis_records_676, kAxisRecord200, kAxisCount,
           kAxisRecordRuns);
  relayout(ws.table_a_14, kTableARow14, ws.table_a_32_v200, kTableARow32, kAxisCount,
           kTableARowMoves);
}

}  // namespace datlift
