// SPDX-License-Identifier: MIT
// The parts of SYSTEM.DAT: its two header forms, its five kinds of block, and the forms of the
// records inside them. Which version stores which form, and where, is the table of versions
// (upgrade/version_table.h).
//
// A file is a header followed by five blocks without gaps, always in this order:
//
//   header             short header (128 bytes) or long header (1024 bytes)
//   axis record block  18 axis records of 584, 676 or 680 bytes
//   axis name table    18 entries of 39 or 40 bytes
//   general record     25 or 28 bytes
//   axis table A       18 rows of 14 or 32 4-byte values
//   axis table B       18 rows of 9 + 9 or 16 + 16 4-byte values
//
// Short header                        Long header
//   0   4  header word                  0    4  header word
//   4  13  header text 1                4  256  header text 1
//  17  13  header text 2              260  256  header text 2
//  30  25  identification field       516   40  identification field
//  55  26  header text 3              556   32  header text 3
//  81  47  tail                       588  436  tail
//
// The identification string is "SYSFILE <model> V<version>", e.g. "SYSFILE PLX-8 V2.00".
#pragma once

#include <array>
#include <cstddef>

#include "common/bytes.h"
#include "common/exit_code.h"

namespace datlift {

constexpr std::size_t kAxisCount = 18;

enum class HeaderKind { short_header, long_header };

struct HeaderForm {
  std::size_t size;
  Field word, text1, text2, ident, text3, tail;
};

constexpr HeaderForm kShortHeader{128, {0, 4}, {4, 13}, {17, 13}, {30, 25}, {55, 26}, {81, 47}};
constexpr HeaderForm kLongHeader{1024,      {0, 4},    {4, 256},  {260, 256},
                                 {516, 40}, {556, 32}, {588, 436}};

constexpr const HeaderForm& header_form(HeaderKind kind) {
  return kind == HeaderKind::short_header ? kShortHeader : kLongHeader;
}

// The five kinds of block, in file order, each with the bad-format status of a file that does
// not hold it whole.
enum class BlockKind { axis_records, axis_names, general, table_a, table_b };
constexpr std::size_t kBlockKinds = 5;

struct BlockKindInfo {
  const char* name;
  ExitCode missing;
};
constexpr std::array<BlockKindInfo, kBlockKinds> kBlockKindInfo{{
    {"axis records", ExitCode::axis_records_short},
    {"axis name table", ExitCode::axis_names_short},
    {"general record", ExitCode::general_short},
    {"axis table A", ExitCode::table_a_short},
    {"axis table B", ExitCode::table_b_short},
}};

constexpr const BlockKindInfo& block_kind_info(BlockKind kind) {
  return kBlockKindInfo[static_cast<std::size_t>(kind)];
}

// The elements of the blocks: an axis record, an axis name entry, the general record, a row of
// axis table A or B.
constexpr std::size_t kAxisRecord171 = 584;
constexpr std::size_t kAxisRecord200 = 676;  // also V2.10
constexpr std::size_t kAxisRecord250 = 680;
constexpr std::size_t kNameEntry39 = 39;  // V1.71, V2.00
constexpr std::size_t kNameEntry40 = 40;  // V2.10, V2.50
constexpr std::size_t kGeneral25 = 25;
constexpr std::size_t kGeneral28 = 28;
constexpr std::size_t kTableARow14 = 14 * 4;
constexpr std::size_t kTableARow32 = 32 * 4;
constexpr std::size_t kTableBRow9 = (9 + 9) * 4;
constexpr std::size_t kTableBRow16 = (16 + 16) * 4;

// A block of one element per axis.
constexpr std::size_t per_axis(std::size_t element) {
  return kAxisCount * element;
}

// The axis record in its three forms: the same fields, one array grown from 9 to 32 elements
// (V2.00), and one 4-byte field moved and one added (V2.50). Every value is raw bytes to the
// program; only positions change.
//
//   field                                     V1.71 (584)   V2.00, V2.10 (676)   V2.50 (680)
//   six 8-byte fields                           0..47          0..47               0..47
//   the 4-byte field that V2.50 moves          48..51         48..51             512..515
//   thirteen 24-byte fields                    52..363        52..363             48..359
//   array of five 24-byte elements            364..483       364..483            360..479
//   four 8-byte fields                        484..515       484..515            480..511
//   a 4-byte field that stays in its place    516..519       516..519            516..519
//   five 4-byte fields                        520..539       520..539            520..539
//   array of 4-byte elements (9, then 32)     540..575       540..667            540..667
//   two 4-byte fields                         576..583       668..675            668..675
//   a 4-byte field (new in V2.50)                 -              -               676..679
struct AxisRecordForm {
  std::size_t size;
  Field doubles_6, moving_word, fields_13, elements_5, doubles_4, staying_word, words_5, array,
      words_2,
      new_word;  // absent ({0, 0}) before V2.50
};

constexpr AxisRecordForm kAxisRecordForm171{584,        {0, 48},   {48, 4},  {52, 312},
                                            {364, 120}, {484, 32}, {516, 4}, {520, 20},
                                            {540, 36},  {576, 8},  {0, 0}};
constexpr AxisRecordForm kAxisRecordForm200{676,        {0, 48},   {48, 4},  {52, 312},
                                            {364, 120}, {484, 32}, {516, 4}, {520, 20},
                                            {540, 128}, {668, 8},  {0, 0}};
constexpr AxisRecordForm kAxisRecordForm250{680,        {0, 48},   {512, 4}, {48, 312},
                                            {360, 120}, {480, 32}, {516, 4}, {520, 20},
                                            {540, 128}, {668, 8},  {676, 4}};

// Name text of an axis name entry: 11 bytes in the 39-byte entry, 12 in the 40-byte entry; the
// seven 4-byte values follow it directly.
constexpr std::size_t kNameField39 = 11;
constexpr std::size_t kNameField40 = 12;
// Text of the general record: 9 bytes in the 25-byte record, 12 in the 28-byte record.
constexpr std::size_t kGeneralText25 = 9;
constexpr std::size_t kGeneralText28 = 12;

consteval bool axis_record_forms_fill_their_records() {
  for (const AxisRecordForm& f : {kAxisRecordForm171, kAxisRecordForm200, kAxisRecordForm250}) {
    const Field fields[] = {f.doubles_6,    f.moving_word, f.fields_13, f.elements_5, f.doubles_4,
                            f.staying_word, f.words_5,     f.array,     f.words_2,    f.new_word};
    std::size_t covered = 0;
    for (const Field& a : fields) {
      covered += a.size;
      if (a.offset + a.size > f.size) return false;
      for (const Field& b : fields)
        if (&a != &b && a.size != 0 && b.size != 0 && a.offset < b.offset + b.size &&
            b.offset < a.offset + a.size)
          return false;
    }
    if (covered != f.size) return false;
  }
  return kAxisRecordForm171.size == kAxisRecord171 && kAxisRecordForm200.size == kAxisRecord200 &&
         kAxisRecordForm250.size == kAxisRecord250;
}
static_assert(axis_record_forms_fill_their_records());

}  // namespace datlift
