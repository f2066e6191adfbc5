// SPDX-License-Identifier: MIT
#include <utility>

#include "common/messages.h"
#include "upgrade/moves.h"
#include "upgrade/upgrade.h"

namespace datlift {
namespace {

// V2.10 axis record (676 bytes) -> V2.50 axis record (680 bytes), in V2.10 order.
constexpr Move kAxisRecordMoves[] = {
    {0, 0, 48},       // six 8-byte fields
    {48, 512, 4},     // a 4-byte field, moved behind the four 8-byte fields
    {52, 48, 312},    // thirteen 24-byte fields
    {364, 360, 120},  // array of five 24-byte elements
    {484, 480, 32},   // four 8-byte fields
    {516, 516, 4},    // a 4-byte field of raw bytes
    {520, 520, 20},   // five 4-byte fields
    {540, 540, 128},  // array of 32 elements of 4 bytes
    {668, 668, 8},    // two 4-byte fields
};                    // 676..679: a new 4-byte field, zero
constexpr auto kAxisRecordRuns = join_moves(kAxisRecordMoves);
static_assert(kAxisRecordRuns.count == 4);

}  // namespace

void upgrade_v210_to_v250(StepContext& step) {
  WorkingSet& ws = step.ws;
  apply_name_overrides(step.names, ws);
  message::conversion(step.console, model_code(step.file_model), "2.10",
                      model_code(step.selected_model), "2.50");
  renew_header(step.ws.long_header, kLongHeader, step.selected_model, "2.50");
  // Header text 3 goes over as a text; one without a NUL in its 26 bytes goes whole, and its NUL
  // still fits the 32-byte field.
  const ConstBytes text3 = field(std::as_const(ws.short_header), kShortHeader.text3);
  store_text(field(ws.long_header, kLongHeader.text3), text3.first(text_length(text3)));
  relayout(ws.axis_records_676, kAxisRecord200, ws.axis_records_680, kAxisRecord250, kAxisCount,
           kAxisRecordRuns);
  fill_mcfg_defaults(step.mcfg);
}

void refresh_v250(StepContext& step) {
  apply_name_overrides(step.names, step.ws);
  message::conversion(step.console, model_code(step.file_model), "2.50",
                      model_code(step.selected_model), "2.50");
  renew_header(step.ws.long_header, kLongHeader, step.selected_model, "2.50");
}

}  // namespace datlift
