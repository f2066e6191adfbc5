// SPDX-License-Identifier: MIT
// The byte layout of SYSTEM.DAT in its four versions.
//
// A file is a header followed by five blocks without gaps, always in this order:
//
//   header             short header (128 bytes: V1.71, V2.00, V2.10) or long header (1024: V2.50)
//   axis record block  18 axis records of 584 (V1.71), 676 (V2.00, V2.10) or 680 (V2.50) bytes
//   axis name table    18 entries of 39 (V1.71, V2.00) or 40 (V2.10, V2.50) bytes
//   general record     25 (V1.71, V2.00) or 28 (V2.10, V2.50) bytes
//   axis table A       18 rows of 14 (V1.71) or 32 (later versions) 4-byte values
//   axis table B       18 rows of 9 + 9 (V1.71, V2.00) or 16 + 16 (V2.10, V2.50) 4-byte values
//
// Whole files: 13671 (V1.71), 16623 (V2.00), 17652 (V2.10) and 18620 (V2.50) bytes.
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

namespace datlift {

constexpr std::size_t kAxisCount = 18;

// Version numbers: the version in hundredths.
constexpr int kV171 = 171;
constexpr int kV200 = 200;
constexpr int kV210 = 210;
constexpr int kV250 = 250;

struct HeaderForm {
  std::size_t size;
  Field word, text1, text2, ident, text3, tail;
};

constexpr HeaderForm kShortHeader{128, {0, 4}, {4, 13}, {17, 13}, {30, 25}, {55, 26}, {81, 47}};
constexpr HeaderForm kLongHeader{1024,      {0, 4},    {4, 256},  {260, 256},
                                 {516, 40}, {556, 32}, {588, 436}};

// Element sizes of the block layouts.
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

// The axis record in its three forms: the same fields, one array grown from 9 to 32 elements
// (V2.00), and one 4-byte field moved and one added (V2.50). Every value is raw bytes to the
// program; only positions change.
//
//   field                                     V1.71 (584)   V2.00, V2.10 (676)   V2.50 (680)
//   six 8-byte fields                           0..47          0..47               0..47
//   a 4-byte field                             48..51         48..51             512..515
//   thirteen 24-byte fields                    52..363        52..363             48..359
//   array of five 24-byte elements            364..483       364..483            360..479
//   four 8-byte fields                        484..515       484..515            480..511
//   a 4-byte field of raw bytes               516..519       516..519            516..519
//   five 4-byte fields                        520..539       520..539            520..539
//   array of 4-byte elements (9, then 32)     540..575       540..667            540..667
//   two 4-byte fields                         576..583       668..675            668..675
//   a 4-byte field (new in V2.50)                 -              -               676..679
struct AxisRecordForm {
  std::size_t size;
  Field doubles_6, word, fields_13, elements_5, doubles_4, raw_word, words_5, array, words_2,
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

// The instances of the working set: one per header form and per block layout.
enum class Instance {
  short_header,
  long_header,
  axis_records_584,
  axis_records_676,  // V2.00 and V2.10 share it
  axis_records_680,
  names_39,
  names_40,
  general_25,
  general_28,
  table_a_14,
  // V2.00 and V2.10 store axis table A alike, yet in instances of their own: each step writes
  // only the instances of the version it makes and leaves those it reads as they were, so the
  // V2.00 to V2.10 step copies the table from one to the other.
  table_a_32_v200,
  table_a_32_v210,  // V2.10 and V2.50 share it
  table_b_9,
  table_b_16,
};

enum class HeaderKind { short_header, long_header };

struct Block {
  Instance instance;
  std::size_t size;
  int missing_status;  // bad-format status when the file does not hold the block whole
};

struct VersionLayout {
  int version;
  HeaderKind written_header;
  std::array<Block, 5> blocks;
  std::size_t file_size;  // as written: the written header and the five blocks
};

// Bad-format statuses of the five blocks, in file order.
constexpr int kStatusAxisRecords = 6;
constexpr int kStatusAxisNames = 8;
constexpr int kStatusGeneral = 9;
constexpr int kStatusTableA = 10;
constexpr int kStatusTableB = 11;

constexpr std::array<VersionLayout, 4> kVersionLayouts{{
    {kV171,
     HeaderKind::short_header,
     {{{Instance::axis_records_584, kAxisCount* kAxisRecord171, kStatusAxisRecords},
       {Instance::names_39, kAxisCount* kNameEntry39, kStatusAxisNames},
       {Instance::general_25, kGeneral25, kStatusGeneral},
       {Instance::table_a_14, kAxisCount* kTableARow14, kStatusTableA},
       {Instance::table_b_9, kAxisCount* kTableBRow9, kStatusTableB}}},
     13671},
    {kV200,
     HeaderKind::short_header,
     {{{Instance::axis_records_676, kAxisCount* kAxisRecord200, kStatusAxisRecords},
       {Instance::names_39, kAxisCount* kNameEntry39, kStatusAxisNames},
       {Instance::general_25, kGeneral25, kStatusGeneral},
       {Instance::table_a_32_v200, kAxisCount* kTableARow32, kStatusTableA},
       {Instance::table_b_9, kAxisCount* kTableBRow9, kStatusTableB}}},
     16623},
    {kV210,
     HeaderKind::short_header,
     {{{Instance::axis_records_676, kAxisCount* kAxisRecord200, kStatusAxisRecords},
       {Instance::names_40, kAxisCount* kNameEntry40, kStatusAxisNames},
       {Instance::general_28, kGeneral28, kStatusGeneral},
       {Instance::table_a_32_v210, kAxisCount* kTableARow32, kStatusTableA},
       {Instance::table_b_16, kAxisCount* kTableBRow16, kStatusTableB}}},
     17652},
    {kV250,
     HeaderKind::long_header,
     {{{Instance::axis_records_680, kAxisCount* kAxisRecord250, kStatusAxisRecords},
       {Instance::names_40, kAxisCount* kNameEntry40, kStatusAxisNames},
       {Instance::general_28, kGeneral28, kStatusGeneral},
       {Instance::table_a_32_v210, kAxisCount* kTableARow32, kStatusTableA},
       {Instance::table_b_16, kAxisCount* kTableBRow16, kStatusTableB}}},
     18620},
}};

// The layout of a version number, or nullptr when the number has none.
constexpr const VersionLayout* find_layout(int version) {
  for (const VersionLayout& layout : kVersionLayouts)
    if (layout.version == version) return &layout;
  return nullptr;
}

constexpr const HeaderForm& header_form(HeaderKind kind) {
  return kind == HeaderKind::short_header ? kShortHeader : kLongHeader;
}

// Where the block of a bad-format status begins in a file of the layout behind a header of this
// form; kBehindBlocks asks where the last block ends. Every question about the places of blocks
// is answered by this one walk.
constexpr int kBehindBlocks = 0;
struct BlockPlace {
  std::size_t offset;
  std::size_t size;  // 0 behind the blocks
};
constexpr BlockPlace block_place(const VersionLayout& layout, HeaderKind header, int status) {
  std::size_t offset = header_form(header).size;
  for (const Block& block : layout.blocks) {
    if (block.missing_status == status) return {offset, block.size};
    offset += block.size;
  }
  return {offset, 0};
}

constexpr std::size_t kMaxFileSize = 18620;

consteval bool axis_record_forms_fill_their_records() {
  for (const AxisRecordForm& f : {kAxisRecordForm171, kAxisRecordForm200, kAxisRecordForm250}) {
    const Field fields[] = {f.doubles_6, f.word,    f.fields_13, f.elements_5, f.doubles_4,
                            f.raw_word,  f.words_5, f.array,     f.words_2,    f.new_word};
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

consteval bool layout_sizes_add_up() {
  for (const VersionLayout& layout : kVersionLayouts) {
    std::size_t size = header_form(layout.written_header).size;
    for (const Block& block : layout.blocks) size += block.size;
    if (size != layout.file_size || size > kMaxFileSize) return false;
  }
  return true;
}
static_assert(layout_sizes_add_up());

}  // namespace datlift
