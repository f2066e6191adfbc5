// SPDX-License-Identifier: MIT
// Reading the five blocks of a system file, and composing the image of a system file from its
// header and blocks.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "common/bytes.h"
#include "common/exit_code.h"
#include "common/input.h"
#include "sysfile/layout.h"

namespace datlift {

// The five blocks of a layout, in file order.
using Blocks = std::array<Bytes, kBlockKinds>;
using ConstBlocks = std::array<ConstBytes, kBlockKinds>;

// Reads the blocks, each with one read of its full size, from where the input stands (behind
// whichever header identified the file). Returns ExitCode::ok, or the bad-format status of the
// first block the file does not hold whole; nothing behind that block is read.
ExitCode read_system_blocks(InputStream& input, const Blocks& blocks);

// A system file as the pieces that make it up, in file order. It goes out with one gathering
// write, so none of its bytes is copied on the way.
struct SystemImage {
  static constexpr std::size_t kMaxParts = 2 + kBlockKinds;  // header, its tail, the blocks
  std::array<ConstBytes, kMaxParts> parts{};
  std::size_t count = 0;

  std::span<const ConstBytes> pieces() const { return {parts.data(), count}; }
};

// Composes a system file: the header of its form up to the tail, the tail's bytes (whatever block
// the version's table fills it from), then the five blocks.
void compose_system_file(ConstBytes header, const HeaderForm& form, ConstBytes tail,
                         const ConstBlocks& blocks, SystemImage& image);

}  // namespace datlift
