// SPDX-License-Identifier: MIT
#include "mcfg/mcfg_block.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string_view>

namespace datlift {
namespace {

static_assert(std::numeric_limits<double>::is_iec559, "MCFG.DAT stores IEEE 754 doubles");

// The default image, laid out from the table when the program is built.
consteval ByteArray<kMcfgSize> make_default_image() {
  ByteArray<kMcfgSize> image{};
  const Bytes bytes(image);
  for (const McfgField& f : kMcfgFields) {
    switch (f.kind) {
      case McfgKind::int32:
        store_le32(bytes, f.offset,
                   static_cast<std::uint32_t>(static_cast<std::int32_t>(f.number)));
        break;
      case McfgKind::double64:
        store_le64(bytes, f.offset, bits_of_double(f.number));
        break;
      case McfgKind::text16:
        store_text(bytes.subspan(f.offset, 16), std::string_view(f.text));
        break;
    }
  }
  return image;
}

constexpr ByteArray<kMcfgSize> kDefaultImage = make_default_image();

}  // namespace

const ByteArray<kMcfgSize>& mcfg_default_image() {
  return kDefaultImage;
}

void fill_mcfg_defaults(McfgBlock& block) {
  block.bytes = kDefaultImage;
  block.filled = true;
}

}  // namespace datlift
