// SPDX-License-Identifier: MIT
// The layout of the MCFG block: every field by its name, offset, type and default. The record is
// packed: several doubles start at offsets that are not multiples of 8. Bytes of no field are
// never set and stay zero.
//
//   0..95     four 24-byte groups: int32, double, 8 bytes never set, int32
//   96..219   integers 9 to 12 and values 5 to 10, stretches never set between them
//   220..347  colour slots 1 and 2, then four groups of colour slot + int32 (slots 3 to 6),
//             then colour slot 7
//   348..459  values 11 to 14, integers 17 to 23, stretches never set
#pragma once

#include <array>
#include <cstddef>

namespace datlift {

constexpr std::size_t kMcfgSize = 460;

enum class McfgKind { int32, double64, text16 };

constexpr std::size_t field_width(McfgKind kind) {
  return kind == McfgKind::int32 ? 4 : kind == McfgKind::double64 ? 8 : 16;
}

struct McfgField {
  const char* name;
  std::size_t offset;
  McfgKind kind;
  double number;     // default of an int32 or a double
  const char* text;  // default of a colour slot
};

inline constexpr auto kMcfgFields = std::to_array<McfgField>({
    {"integer 1", 0, McfgKind::int32, 0, ""},
    {"value 1", 4, McfgKind::double64, 1.0, ""},
    {"integer 2", 20, McfgKind::int32, 0, ""},
    {"integer 3", 24, McfgKind::int32, 0, ""},
    {"value 2", 28, McfgKind::double64, 1.0, ""},
    {"integer 4", 44, McfgKind::int32, 0, ""},
    {"integer 5", 48, McfgKind::int32, 0, ""},
    {"value 3", 52, McfgKind::double64, 0.0, ""},
    {"integer 6", 68, McfgKind::int32, 0, ""},
    {"integer 7", 72, McfgKind::int32, 0, ""},
    {"value 4", 76, McfgKind::double64, 1000.0, ""},
    {"integer 8", 92, McfgKind::int32, 0, ""},
    {"integer 9", 116, McfgKind::int32, 0, ""},
    {"value 5", 124, McfgKind::double64, 0.0, ""},
    {"value 6", 132, McfgKind::double64, 1.0, ""},
    {"integer 10", 156, McfgKind::int32, 0, ""},
    {"value 7", 164, McfgKind::double64, 0.0, ""},
    {"value 8", 172, McfgKind::double64, 1000.0, ""},
    {"integer 11", 196, McfgKind::int32, 0, ""},
    {"integer 12", 200, McfgKind::int32, 0, ""},
    {"value 9", 204, McfgKind::double64, 0.0, ""},
    {"value 10", 212, McfgKind::double64, 100.0, ""},
    {"colour slot 1", 220, McfgKind::text16, 0, "BLACK"},
    {"colour slot 2", 236, McfgKind::text16, 0, "LBLUE"},
    {"colour slot 3", 252, McfgKind::text16, 0, "WHITE"},
    {"integer 13", 268, McfgKind::int32, 1, ""},
    {"colour slot 4", 272, McfgKind::text16, 0, "LGREEN"},
    {"integer 14", 288, McfgKind::int32, 1, ""},
    {"colour slot 5", 292, McfgKind::text16, 0, "WHITE"},
    {"integer 15", 308, McfgKind::int32, 1, ""},
    {"colour slot 6", 312, McfgKind::text16, 0, "LBLUE"},
    {"integer 16", 328, McfgKind::int32, 1, ""},
    {"colour slot 7", 332, McfgKind::text16, 0, "LRED"},
    {"value 11", 348, McfgKind::double64, 10.0, ""},
    {"value 12", 356, McfgKind::double64, 1.0, ""},
    {"value 13", 392, McfgKind::double64, 1.0, ""},
    {"integer 17", 408, McfgKind::int32, 0, ""},
    {"integer 18", 412, McfgKind::int32, 0, ""},
    {"value 14", 416, McfgKind::double64, 1.0, ""},
    {"integer 19", 432, McfgKind::int32, 0, ""},
    {"integer 20", 436, McfgKind::int32, 0, ""},
    {"integer 21", 440, McfgKind::int32, 0, ""},
    {"integer 22", 444, McfgKind::int32, 1, ""},
    {"integer 23", 448, McfgKind::int32, 0, ""},
});

consteval bool mcfg_fields_in_order_within_the_block() {
  std::size_t end = 0;
  for (const McfgField& f : kMcfgFields) {
    if (f.offset < end) return false;
    end = f.offset + field_width(f.kind);
  }
  return end <= kMcfgSize;
}
static_assert(mcfg_fields_in_order_within_the_block());

}  // namespace datlift
