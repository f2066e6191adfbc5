// SPDX-License-Identifier: MIT
#include <utility>

#include "upgrade/moves.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

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
  apply_name_overrides(step);
  renew_header(step);
  // Header text 3 goes over as a text; one without a NUL in its 26 bytes goes whole, and its NUL
  // still fits the 32-byte field.
  const ConstBytes text3 = field(ConstBytes(ws.headers.short_form), kShortHeader.text3);
  store_text(field(Bytes(ws.headers.long_form), kLongHeader.text3),
             text3.first(text_length(text3)));
  relayout(ws.block(kV210, BlockKind::axis_records), kAxisRecord200,
           ws.block(kV250, BlockKind::axis_records), kAxisRecord250, kAxisCount, kAxisRecordRuns);
}

void refresh_v250(StepContext& step) {
  apply_name_overrides(step);
  renew_header(step);
}

}  // namespace datlift
