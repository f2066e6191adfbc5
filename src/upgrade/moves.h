// SPDX-License-Identifier: MIT
// Re-laying records from one layout into another by a table of moves: each move copies `length`
// bytes from offset `from` of the old record to offset `to` of the new one. Bytes of the new
// record that no move reaches are zero.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <span>

#include "common/bytes.h"
#include "sysfile/layout.h"

namespace datlift {

struct Move {
  std::size_t from;
  std::size_t to;
  std::size_t length;
};

using Moves = std::span<const Move>;

// A field of the old record to the same field of the new one: as much of it as both hold (a
// grown array keeps its elements; the new ones stay zero).
consteval Move move(Field from, Field to) {
  return {from.offset, to.offset, std::min(from.size, to.size)};
}

// Every field of one axis record form to the same field of another.
consteval std::array<Move, 9> axis_record_moves(const AxisRecordForm& from,
                                                const AxisRecordForm& to) {
  return {{move(from.doubles_6, to.doubles_6), move(from.moving_word, to.moving_word),
           move(from.fields_13, to.fields_13), move(from.elements_5, to.elements_5),
           move(from.doubles_4, to.doubles_4), move(from.staying_word, to.staying_word),
           move(from.words_5, to.words_5), move(from.array, to.array),
           move(from.words_2, to.words_2)}};
}

// A table of moves with neighbours joined: a move that continues the one before it in both
// records becomes part of it. The tables list one move per field, as the layouts document them;
// the copies are made of as few runs as possible.
template <std::size_t N>
struct JoinedMoves {
  std::array<Move, N> moves{};
  std::size_t count = 0;
  constexpr operator Moves() const { return Moves(moves.data(), count); }
};

template <std::size_t N>
consteval JoinedMoves<N> join_moves(const std::array<Move, N>& table) {
  JoinedMoves<N> joined;
  for (const Move& m : table) {
    Move* last = joined.count > 0 ? &joined.moves[joined.count - 1] : nullptr;
    if (last != nullptr && last->from + last->length == m.from && last->to + last->length == m.to)
      last->length += m.length;
    else
      joined.moves[joined.count++] = m;
  }
  return joined;
}

// Re-lays `count` records of `src_size` bytes into records of `dst_size` bytes.
inline void relayout(ConstBytes src, std::size_t src_size, Bytes dst, std::size_t dst_size,
                     std::size_t count, Moves moves) {
  for (std::size_t i = 0; i < count; ++i) {
    const ConstBytes from = src.subspan(i * src_size, src_size);
    const Bytes to = dst.subspan(i * dst_size, dst_size);
    std::fill(to.begin(), to.end(), std::uint8_t{0});
    for (const Move& m : moves) {
      const ConstBytes part = from.subspan(m.from, m.length);
      std::copy(part.begin(), part.end(), to.begin() + static_cast<std::ptrdiff_t>(m.to));
    }
  }
}

}  // namespace datlift
