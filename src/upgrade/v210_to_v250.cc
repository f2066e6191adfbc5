// SPDX-License-Identifier: MIT
#include <utility>

#include "upgrade/moves.h"
#include "upgrade/upgrade.h"

namespace datlift {
namespace {

// V2.10 axis record -> V2.50 axis record: one 4-byte field moves behind the four 8-byte fields,
// the fields between move up, and a new 4-byte field at the end stays zero.
constexpr auto kAxisRecordRuns =
    join_moves(axis_record_moves(kAxisRecordForm200, kAxisRecordForm250));
static_assert(kAxisRecordRuns.count == 4);

}  // namespace

void upgrade_v210_to_v250(StepContext& step) {
  WorkingSet& ws = step.ws;
  apply_name_overrides(step.names, ws);
  renew_header(step.ws.long_header, kLongHeader, step.selected_model, "2.50");
  // Header text 3 goes over as a text; one without a NUL in its 26 bytes goes whole, and its NUL
  // still fits the 32-byte field.
  const ConstBytes text3 = field(std::as_const(ws.short_header), kShortHeader.text3);
  store_text(field(ws.long_header, kLongHeader.text3), text3.first(text_length(text3)));
  relayout(ws.axis_records_676, kAxisRecord200, ws.axis_records_680, kAxisRecord250, kAxisCount,
           kAxisRecordRuns);
}

void refresh_v250(StepContext& step) {
  apply_name_overrides(step.names, step.ws);
  renew_header(step.ws.long_header, kLongHeader, step.selected_model, "2.50");
}

}  // namespace datlift
