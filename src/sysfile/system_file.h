// SPDX-License-Identifier: MIT
// Reading the five blocks of a system file into the working set, and composing the image of a
// system file from it.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "common/bytes.h"
#include "common/input.h"
#include "sysfile/working_set.h"

namespace datlift {

// Reads the blocks of the version's layout, each with one read of its full size, from where the
// input stands (behind whichever header identified the file). Returns 0, or the bad-format status
// of the first block the file does not hold whole; nothing behind that block, and nothing behind
// axis table B, is read. The version must have a layout.
int read_system_blocks(InputStream& input, int version, WorkingSet& ws);

// A system file as the pieces of the working set that make it up, in file order. It goes out with
// one gathering write, so none of its bytes is copied on the way.
struct SystemImage {
  static constexpr std::size_t kMaxParts = 7;  // header, header tail, five blocks
  std::array<ConstBytes, kMaxParts> parts{};
  std::size_t count = 0;

  std::span<const ConstBytes> pieces() const { return {parts.data(), count}; }
};

// Composes the system file of version 200, 210 or 250 from the working set: the header of the
// version's form, then its five blocks. The header tails hold what the system has always written
// there: the first bytes of the 39-byte axis name table behind a short header, the first bytes of
// the 680-byte axis records behind a long one. Another version gives an empty image.
void write_system_file(int version, const WorkingSet& ws, SystemImage& image);

}  // namespace datlift
