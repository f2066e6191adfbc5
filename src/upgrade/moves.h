// Re-laying records from one layout into another by a table of moves: each move copies `length`
// bytes from offset `from` of the old record to offset `to` of the new one. Bytes of the new
// record that no move reaches are zero.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>

#include "common/bytes.h"

namespace datlift {

struct Move {
  std::size_t from;
  std::size_t to;
  std::size_t length;
};

using Moves = std::span<const Move>;

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
