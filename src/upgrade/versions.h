// SPDX-License-Identifier: MIT
// What a version of SYSTEM.DAT is: its number and text, its header form, its five blocks, the
// step that makes it from the version before, the models whose files of it are converted, and
// whether its step fills the MCFG block. The product's versions are one table
// (version_table.h); everything else about versions is derived from a table of this form.
#pragma once

#include <array>
#include <cstddef>
#include <span>

#include "sysfile/layout.h"
#include "sysfile/model.h"

namespace datlift {

struct StepContext;
using Step = void (*)(StepContext&);

// A block of a version: its size, and whether its bytes are those of the version before (the
// step carries them over untouched), so that the working set keeps one instance for both.
struct VersionBlock {
  std::size_t size;
  bool shared = false;
};
constexpr VersionBlock own(std::size_t size) {
  return {size, false};
}
constexpr VersionBlock shared(std::size_t size) {
  return {size, true};
}

// A block of a version: where the bytes of a header's tail come from when the version is
// written.
struct BlockOf {
  int version;
  BlockKind kind;
};

struct Version {
  int number;                                    // in hundredths: 210
  const char* text;                              // as messages show it: "2.10"
  HeaderKind header;                             // the form its files are written with
  std::array<VersionBlock, kBlockKinds> blocks;  // in file order
  BlockOf tail;
  Step step;        // makes this version from the one before; the first has none
  Step refresh;     // rewrites a file of the newest version for another model or names
  ModelSet takes;   // the models whose files of this version are converted, and for which
  bool fills_mcfg;  // whether its step fills the MCFG block with the default image
};

// A table of versions, oldest first.
using Versions = std::span<const Version>;

// The most versions a table holds.
constexpr std::size_t kMaxVersions = 8;

constexpr const Version* find_version(Versions versions, int number) {
  for (const Version& v : versions)
    if (v.number == number) return &v;
  return nullptr;
}

constexpr const Version& newest(Versions versions) {
  return versions.back();
}

// The version's file as written: its header and its five blocks.
constexpr std::size_t file_size(const Version& v) {
  std::size_t size = header_form(v.header).size;
  for (const VersionBlock& b : v.blocks) size += b.size;
  return size;
}

constexpr std::size_t largest_file(Versions versions) {
  std::size_t largest = 0;
  for (const Version& v : versions) largest = file_size(v) > largest ? file_size(v) : largest;
  return largest;
}

// Where a block of the version begins, and its size, in a file behind a header of this form.
struct BlockPlace {
  std::size_t offset;
  std::size_t size;
};
constexpr BlockPlace block_place(const Version& v, HeaderKind header, BlockKind kind) {
  std::size_t offset = header_form(header).size;
  for (std::size_t k = 0; k < static_cast<std::size_t>(kind); ++k) offset += v.blocks[k].size;
  return {offset, v.blocks[static_cast<std::size_t>(kind)].size};
}
// Where the last block ends.
constexpr std::size_t blocks_end(const Version& v, HeaderKind header) {
  const BlockPlace last = block_place(v, header, BlockKind::table_b);
  return last.offset + last.size;
}

// What every table must be: numbers rising; a step for every version but the first, a refresh
// for the newest (an older version's is not used); a shared block only where the version before
// has one of the same size; a tail from a block of this version or an earlier one, large enough.
constexpr bool well_formed(Versions versions) {
  if (versions.empty() || versions.size() > kMaxVersions) return false;
  for (std::size_t i = 0; i < versions.size(); ++i) {
    const Version& v = versions[i];
    if ((i == 0) != (v.step == nullptr)) return false;
    if (i + 1 == versions.size() && v.refresh == nullptr) return false;
    if (i > 0 && v.number <= versions[i - 1].number) return false;
    for (std::size_t k = 0; k < kBlockKinds; ++k)
      if (v.blocks[k].shared && (i == 0 || versions[i - 1].blocks[k].size != v.blocks[k].size))
        return false;
    const Version* from = find_version(versions, v.tail.version);
    if (i > 0 && (from == nullptr || from->number > v.number ||
                  from->blocks[static_cast<std::size_t>(v.tail.kind)].size <
                      header_form(v.header).tail.size))
      return false;
  }
  return true;
}

}  // namespace datlift
