// SPDX-License-Identifier: MIT
// What a system file or an MCFG file holds, and what datlift would do to it, worked out on the
// file's bytes in memory by the program's own identification, layouts and run sequence. Nothing
// is written; nothing is allocated.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "common/bytes.h"
#include "mcfg/mcfg_block.h"
#include "mcfg/mcfg_layout.h"
#include "run/run_sequence.h"
#include "sysfile/identify.h"
#include "sysfile/layout.h"
#include "sysfile/model.h"

namespace datlift::inspect {

// No layout is read further than this: the bytes of a file that matter.
constexpr std::size_t kMaxInspected = kMaxFileSize;

// Room for the lines of one run: a read-in line with two 199-character tokens, a conversion line
// per step, and the last message.
constexpr std::size_t kMaxRunOutput = 4096;
constexpr std::size_t kMaxLine = 1024;

// A text field as the file holds it: up to its NUL, within its field; absent where the file does
// not hold the field's block whole.
struct Text {
  bool present = false;
  ConstBytes bytes;
};

// What datlift with some arguments would do to the file: every line of its standard output, its
// exit code, and each file it would write (of size 0 where it writes none).
struct RunReport {
  int exit = 0;
  char output[kMaxRunOutput] = {};
  std::size_t output_size = 0;
  char why[kMaxLine] = {};  // why the run refuses the file, where it does

  ByteArray<kMaxFileSize> system{};
  std::size_t system_written = 0;
  ByteArray<kMcfgSize> mcfg{};
  std::size_t mcfg_written = 0;
};

struct SystemReport {
  std::uint64_t size = 0;
  bool header_found = false;  // a header named a model and a version
  HeaderKind header = HeaderKind::short_header;
  IdentificationTokens tokens;  // empty where no header names them
  bool has_version_number = false;
  int version_number = 0;
  bool model_known = false;
  Model model = Model::plx_8;
  // The verdict of datlift without options: its exit code, its last message, and why.
  int exit = 0;
  char message[kMaxLine] = {};
  char why[kMaxLine] = {};
  bool has_trailing = false;
  std::uint64_t trailing_bytes = 0;  // behind the last block
  std::array<Text, 3> header_texts;
  Text general_text;
  std::array<Text, kAxisCount> axis_names;
};

struct McfgReport {
  std::uint64_t size = 0;
  bool whole = false;  // 460 bytes, so its fields can be read
  bool is_default = false;
  std::size_t stray[kMcfgSize] = {};  // offsets of non-zero bytes of no field
  std::size_t stray_count = 0;
};

// `head` holds the file's first bytes, up to kMaxInspected; `size` is the whole file's size.
// `scratch` takes datlift's run for the verdict.
void inspect_system(ConstBytes head, std::uint64_t size, RunStorage& space, RunReport& scratch,
                    SystemReport& report);

// Runs datlift's run sequence with the arguments on the file's bytes; `present`: whether there is
// a SYSTEM.DAT at all.
void dry_run(ConstBytes head, int argc, const char* const* argv, bool present, RunStorage& space,
             RunReport& report);

// Where the blocks of the file's layout lie, where its header names a version that has one: the
// header, then the five blocks in file order, each with whether the file holds it whole.
struct BlockSpan {
  const char* name;
  std::size_t offset;
  std::size_t size;
  bool whole;
};
struct BlockMap {
  BlockSpan spans[6];
  std::size_t count = 0;
};
void map_blocks(ConstBytes head, std::uint64_t size, RunStorage& space, BlockMap& map);

void inspect_mcfg(ConstBytes bytes, std::uint64_t size, McfgReport& report);

// The names the reports give.
constexpr const char* header_name(HeaderKind h) {
  return h == HeaderKind::short_header ? "short" : "long";
}
constexpr const char* family_name(Model m) {
  return model_family(m) == Family::a ? "A" : "B";
}
constexpr const char* kind_name(McfgKind k) {
  return k == McfgKind::int32 ? "int32" : k == McfgKind::double64 ? "double" : "text";
}

// The value of an MCFG field, as its type reads it.
std::int32_t mcfg_int(ConstBytes block, const McfgField& field);
double mcfg_double(ConstBytes block, const McfgField& field);
ConstBytes mcfg_text(ConstBytes block, const McfgField& field);

}  // namespace datlift::inspect
