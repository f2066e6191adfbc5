// SPDX-License-Identifier: MIT
#include "inspect/inspect.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "mcfg/mcfg_block.h"
#include "sysfile/version.h"
#include "upgrade/version_table.h"

namespace datlift::inspect {
namespace {

class BytesInput final : public InputStream {
 public:
  explicit BytesInput(ConstBytes bytes) : bytes_(bytes) {}
  std::size_t read(Bytes dst) override {
    const std::size_t n = std::min(dst.size(), bytes_.size() - at_);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(at_), n, dst.begin());
    at_ += n;
    return n;
  }

 private:
  ConstBytes bytes_;
  std::size_t at_ = 0;
};

// datlift's run sequence on the file's bytes, its files in memory (`keep_files`: the new files'
// bytes as well as their sizes).
void run(ConstBytes head, int argc, const char* const* argv, bool present, bool keep_files,
         RunStorage& space, RunReport& report, Console& why) {
  space.clear();
  MemoryFiles files(head, keep_files ? Bytes(report.system) : Bytes(),
                    keep_files ? Bytes(report.mcfg) : Bytes());
  files.present = present;
  TextSink out(report.output);
  Console console(out);
  report.exit = run_datlift(argc, argv, files, console, why, space);
  report.output_size = out.text().size();
  report.system_written = files.system_size();
  report.mcfg_written = files.mcfg_size();
}

// Copies a line into a fixed field, cut to fit.
void set_line(char (&line)[kMaxLine], const char* text, std::size_t size) {
  const std::size_t n = std::min(size, kMaxLine - 1);
  std::memcpy(line, text, n);
  line[n] = 0;
}

Text text_of(ConstBytes field) {
  return {true, field.first(text_length(field))};
}

// The verdict: datlift itself, without options, on these bytes; its exit code, its last line,
// and why it refuses the file (one line, kept without its line end).
void judge(ConstBytes head, RunStorage& space, RunReport& verdict, SystemReport& report) {
  TextSink why_sink(std::span<char>(report.why, sizeof report.why - 1));
  Console why(why_sink);
  // The verdict needs the sizes of the new files only.
  run(head, 0, nullptr, true, false, space, verdict, why);
  report.exit = verdict.exit;
  std::size_t why_size = why_sink.text().size();
  while (why_size > 0 && report.why[why_size - 1] == '\n') --why_size;
  report.why[why_size] = 0;
  const char* text = verdict.output;
  std::size_t end = verdict.output_size;
  if (end > 0 && text[end - 1] == '\n') --end;
  std::size_t begin = end;
  while (begin > 0 && text[begin - 1] != '\n') --begin;
  set_line(report.message, text + begin, end - begin);
}

void read_header(ConstBytes head, const Identification& id, SystemReport& report) {
  report.tokens = id.tokens;
  report.header_found = true;
  report.header = id.header;
  const HeaderForm& form = header_form(id.header);
  const ConstBytes header = head.first(form.size);
  report.header_texts[0] = text_of(field(header, form.text1));
  report.header_texts[1] = text_of(field(header, form.text2));
  report.header_texts[2] = text_of(field(header, form.text3));
  report.model_known = find_model_code(id.tokens.model.c_str(), report.model);
}

// The texts of the blocks that the file holds whole, and what lies behind the last one.
void read_blocks(ConstBytes head, std::uint64_t size, const Version& version, HeaderKind header,
                 SystemReport& report) {
  const BlockPlace names = block_place(version, header, BlockKind::axis_names);
  if (names.offset + names.size <= head.size()) {
    const std::size_t entry = names.size / kAxisCount;
    const std::size_t width = entry == kNameEntry39 ? kNameField39 : kNameField40;
    for (std::size_t k = 0; k < kAxisCount; ++k)
      report.axis_names[k] = text_of(head.subspan(names.offset + k * entry, width));
  }
  const BlockPlace general = block_place(version, header, BlockKind::general);
  if (general.offset + general.size <= head.size()) {
    const std::size_t width = general.size == kGeneral25 ? kGeneralText25 : kGeneralText28;
    report.general_text = text_of(head.subspan(general.offset, width));
  }
  if (const std::size_t end = blocks_end(version, header); size >= end) {
    report.has_trailing = true;
    report.trailing_bytes = size - end;
  }
}

// The identification as datlift makes it, without its line.
Identification identify(ConstBytes head, RunStorage& space) {
  space.ws.headers = Headers{};
  BytesInput input(head);
  Discard discard;
  Console quiet(discard);
  return identify_system_file(input, space.ws.headers, quiet);
}

}  // namespace

void dry_run(ConstBytes head, int argc, const char* const* argv, bool present, RunStorage& space,
             RunReport& report) {
  TextSink why_sink(std::span<char>(report.why, sizeof report.why - 1));
  Console why(why_sink);
  run(head, argc, argv, present, true, space, report, why);
  report.why[why_sink.text().size()] = 0;
}

void map_blocks(ConstBytes head, std::uint64_t size, RunStorage& space, BlockMap& map) {
  map.count = 0;
  const Identification id = identify(head, space);
  std::int32_t number = 0;
  if (!id.identified || !token_version_number(id.tokens.version.c_str(), number)) return;
  const Version* version = find_version(kVersions, number);
  if (version == nullptr) return;
  map.spans[map.count++] = {"header", 0, header_form(id.header).size, true};
  for (std::size_t k = 0; k < kBlockKinds; ++k) {
    const BlockPlace place = block_place(*version, id.header, static_cast<BlockKind>(k));
    map.spans[map.count++] = {kBlockKindInfo[k].name, place.offset, place.size,
                              place.offset + place.size <= size};
  }
}

void inspect_system(ConstBytes head, std::uint64_t size, RunStorage& space, RunReport& verdict,
                    SystemReport& report) {
  report = SystemReport{};
  report.size = size;
  judge(head, space, verdict, report);
  const Identification id = identify(head, space);
  if (id.tokens.model.text[0] == 0) return;
  read_header(head, id, report);
  if (!token_version_number(id.tokens.version.c_str(), report.version_number)) return;
  report.has_version_number = true;
  if (report.exit == 0) {
    const char* tail = verdict.mcfg_written != 0 ? " and writes MCFG.DAT" : "";
    std::snprintf(report.why, sizeof report.why, "converts from V%s to V%s%s",
                  version_text(report.version_number).text, newest(kVersions).text, tail);
  }
  if (const Version* version = find_version(kVersions, report.version_number))
    read_blocks(head, size, *version, id.header, report);
}

void inspect_mcfg(ConstBytes bytes, std::uint64_t size, McfgReport& report) {
  report.size = size;
  report.whole = size == kMcfgSize && bytes.size() == kMcfgSize;
  report.is_default = false;
  report.stray_count = 0;
  if (!report.whole) return;
  const ByteArray<kMcfgSize>& defaults = mcfg_default_image();
  report.is_default = std::equal(bytes.begin(), bytes.end(), defaults.begin());
  std::size_t next = 0;  // the first field that ends behind the byte looked at
  for (std::size_t i = 0; i < kMcfgSize; ++i) {
    while (next < std::size(kMcfgFields) &&
           kMcfgFields[next].offset + field_width(kMcfgFields[next].kind) <= i)
      ++next;
    const bool in_field = next < std::size(kMcfgFields) && kMcfgFields[next].offset <= i;
    if (bytes[i] != 0 && !in_field) report.stray[report.stray_count++] = i;
  }
}

std::int32_t mcfg_int(ConstBytes block, const McfgField& field) {
  return static_cast<std::int32_t>(load_le32(block, field.offset));
}

double mcfg_double(ConstBytes block, const McfgField& field) {
  return double_of_bits(load_le64(block, field.offset));
}

ConstBytes mcfg_text(ConstBytes block, const McfgField& field) {
  const ConstBytes f = block.subspan(field.offset, field_width(field.kind));
  return f.first(text_length(f));
}

}  // namespace datlift::inspect
