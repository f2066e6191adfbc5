// SPDX-License-Identifier: MIT
#include "upgrade/moves.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

// Axis name entry, 39 -> 40 bytes: the name text moves as a text (below), the seven 4-byte values
// move one byte along, from 11..38 to 12..39.
constexpr Move kNameEntryMoves[] = {{kNameField39, kNameField40, 7 * 4}};

// General record, 25 -> 28 bytes: the text moves as a text, the four 4-byte values from 9..24 to
// 12..27.
constexpr Move kGeneralMoves[] = {{kGeneralText25, kGeneralText28, 4 * 4}};

// Axis table A keeps its rows of 32 values.
constexpr Move kTableARowMoves[] = {{0, 0, kTableARow32}};

// Axis table B rows, 9 + 9 -> 16 + 16 values: group 1 stays at the row's start, group 2 moves
// from row offset 36 to 64; values 9..15 and 25..31 are zero.
constexpr Move kTableBRowMoves[] = {
    {0, 0, 9 * 4},    // group 1
    {36, 64, 9 * 4},  // group 2
};

// Carries the text of a narrower field into a wider one: the text up to its first NUL (the whole
// field when it holds none), then a NUL. The bytes behind the NUL were zeroed by the re-layout.
void carry_text(ConstBytes from, Bytes to) {
  store_text(to, from.first(text_length(from)));
}

}  // namespace

void upgrade_v200_to_v210(StepContext& step) {
  WorkingSet& ws = step.ws;
  // Every selected model gets a V2.10 identification string: V2.10 blocks stored under a V2.00
  // one would be misread by every later run.
  renew_header(step);

  const Blocks from = ws.blocks(kV200), to = ws.blocks(kV210);
  const auto of = [](const Blocks& blocks, BlockKind kind) {
    return blocks[static_cast<std::size_t>(kind)];
  };
  relayout(of(from, BlockKind::axis_names), kNameEntry39, of(to, BlockKind::axis_names),
           kNameEntry40, kAxisCount, kNameEntryMoves);
  for (std::size_t i = 0; i < kAxisCount; ++i) {
    carry_text(of(from, BlockKind::axis_names).subspan(i * kNameEntry39, kNameField39),
               of(to, BlockKind::axis_names).subspan(i * kNameEntry40, kNameField40));
  }
  relayout(of(from, BlockKind::general), kGeneral25, of(to, BlockKind::general), kGeneral28, 1,
           kGeneralMoves);
  carry_text(of(from, BlockKind::general).first(kGeneralText25),
             of(to, BlockKind::general).first(kGeneralText28));
  relayout(of(from, BlockKind::table_a), kTableARow32, of(to, BlockKind::table_a), kTableARow32,
           kAxisCount, kTableARowMoves);
  relayout(of(from, BlockKind::table_b), kTableBRow9, of(to, BlockKind::table_b), kTableBRow16,
           kAxisCount, kTableBRowMoves);
}

}  // namespace datlift
