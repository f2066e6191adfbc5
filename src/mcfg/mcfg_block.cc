// SPDX-License-Identifier: MIT
#include "mcfg/mcfg_block.h"

#include <algorithm>
#include <bit>
#include <cstdint>
#include <limits>
#include <string_view>

namespace datlift {
namespace {

static_assert(std::numeric_limits<double>::is_iec559, "MCFG.DAT stores IEEE 754 doubles");

enum class Kind { int32, double64, text16 };

struct McfgField {
  std::size_t offset;
  Kind kind;
  double number;          // default of an int32 or a double
  std::string_view text;  // default of a colour slot
};

// Fields with a default other than zero. Every other byte of the 460 (the int32 and double
// fields whose default is 0, and the stretches that are never set) is zero.
//
//   0..95     four 24-byte groups: int32, double, 8 unused bytes, int32
//   96..219   integers 9 to 12 and values 5 to 10, unused stretches between them
//   220..347  colour slots 1 and 2, then four groups of colour slot + int32 (slots 3 to 6),
//             then colour slot 7
//   348..459  values 11 to 14, integers 17 to 23, unused stretches
constexpr McfgField kDefaults[] = {
    {4, Kind::double64, 1.0, {}},       // value 1
    {28, Kind::double64, 1.0, {}},      // value 2
    {76, Kind::double64, 1000.0, {}},   // value 4
    {132, Kind::double64, 1.0, {}},     // value 6
    {172, Kind::double64, 1000.0, {}},  // value 8
    {212, Kind::double64, 100.0, {}},   // value 10
    {220, Kind::text16, 0, "BLACK"},    // colour slot 1
    {236, Kind::text16, 0, "LBLUE"},    // colour slot 2
    {252, Kind::text16, 0, "WHITE"},    // colour slot 3
    {268, Kind::int32, 1, {}},          // integer 13
    {272, Kind::text16, 0, "LGREEN"},   // colour slot 4
    {288, Kind::int32, 1, {}},          // integer 14
    {292, Kind::text16, 0, "WHITE"},    // colour slot 5
    {308, Kind::int32, 1, {}},          // integer 15
    {312, Kind::text16, 0, "LBLUE"},    // colour slot 6
    {328, Kind::int32, 1, {}},          // integer 16
    {332, Kind::text16, 0, "LRED"},     // colour slot 7
    {348, Kind::double64, 10.0, {}},    // value 11
    {356, Kind::double64, 1.0, {}},     // value 12
    {392, Kind::double64, 1.0, {}},     // value 13
    {416, Kind::double64, 1.0, {}},     // value 14
    {444, Kind::int32, 1, {}},          // integer 22
};

// The default image, laid out from the table when the program is built.
consteval ByteArray<kMcfgSize> make_default_image() {
  ByteArray<kMcfgSize> image{};
  const Bytes bytes(image);
  for (const McfgField& f : kDefaults) {
    switch (f.kind) {
      case Kind::int32:
        store_le32(bytes, f.offset,
                   static_cast<std::uint32_t>(static_cast<std::int32_t>(f.number)));
        break;
      case Kind::double64:
        store_le64(bytes, f.offset, std::bit_cast<std::uint64_t>(f.number));
        break;
      case Kind::text16:
        store_text(bytes.subspan(f.offset, 16), f.text);
        break;
    }
  }
  return image;
}

constexpr ByteArray<kMcfgSize> kDefaultImage = make_default_image();

}  // namespace

void fill_mcfg_defaults(McfgBlock& block) {
  block.bytes = kDefaultImage;
  block.filled = true;
}

}  // namespace datlift
