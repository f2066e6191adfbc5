// SPDX-License-Identifier: MIT
#include "inspect/inspect.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "mcfg/mcfg_block.h"
#include "sysfile/version.h"

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

// Keeps what is printed, as far as there is room.
class BufferSink final : public OutputSink {
 public:
  BufferSink(char* buffer, std::size_t capacity, std::size_t& size)
      : buffer_(buffer), capacity_(capacity), size_(size) {}
  void write(const char* data, std::size_t size) override {
    const std::size_t n = std::min(size, capacity_ - size_);
    std::memcpy(buffer_ + size_, data, n);
    size_ += n;
  }

 private:
  char* buffer_;
  std::size_t capacity_;
  std::size_t& size_;
};

class Discard final : public OutputSink {
 public:
  void write(const char*, std::size_t) override {}
};

// The files of a run in memory: the input is the file's bytes, and what would be written is
// only measured.
class DryRunFiles final : public RunFiles {
 public:
  explicit DryRunFiles(ConstBytes bytes) : input_(bytes) {}
  LockResult lock_system() override { return LockResult::locked; }
  InputStream* open_input() override { return &input_; }
  void close_input() override {}
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override {
    for (const ConstBytes part : system) system_written += part.size();
    mcfg_written = mcfg.size();
    return ReplaceResult::ok;
  }
  std::size_t system_written = 0;
  std::size_t mcfg_written = 0;

 private:
  BytesInput input_;
};

void run(ConstBytes head, int argc, const char* const* argv, Workspace& space, RunReport& report,
         Console* why) {
  space.ws = WorkingSet{};
  space.mcfg = McfgBlock{};
  space.image = SystemImage{};
  DryRunFiles files(head);
  report.output_size = 0;
  BufferSink out(report.output, sizeof report.output, report.output_size);
  Console console(out);
  report.exit = run_datlift(argc, argv, files, console, space, why);
  report.system_written = files.system_written;
  report.mcfg_written = files.mcfg_written;
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

}  // namespace

void dry_run(ConstBytes head, int argc, const char* const* argv, Workspace& space,
             RunReport& report) {
  run(head, argc, argv, space, report, nullptr);
}

void inspect_system(ConstBytes head, std::uint64_t size, Workspace& space, SystemReport& report) {
  report.size = size;
  report.header = HeaderSeen::none;
  report.tokens = {};
  report.has_version_number = report.model_known = report.has_trailing = false;
  report.trailing_bytes = 0;
  for (Text& t : report.header_texts) t = {};
  report.general_text = {};
  for (Text& t : report.axis_names) t = {};

  // The verdict: datlift itself, without options, on these bytes.
  static_assert(sizeof(RunReport) < 8192, "a run's report fits on the stack");
  RunReport verdict;
  std::size_t why_size = 0;
  BufferSink why_sink(report.why, sizeof report.why - 1, why_size);
  Console why(why_sink);
  // The reason is one line: kept without its line end.
  auto end_why = [&] {
    while (why_size > 0 && report.why[why_size - 1] == '\n') --why_size;
    report.why[why_size] = 0;
  };
  run(head, 0, nullptr, space, verdict, &why);
  report.exit = verdict.exit;
  end_why();
  const char* text = verdict.output;
  std::size_t end = verdict.output_size;
  if (end > 0 && text[end - 1] == '\n') --end;
  std::size_t begin = end;
  while (begin > 0 && text[begin - 1] != '\n') --begin;
  set_line(report.message, text + begin, end - begin);

  // Identification as datlift makes it, without its line.
  space.ws = WorkingSet{};
  BytesInput input(head);
  Discard quiet_sink;
  Console quiet(quiet_sink);
  const Identification id = identify_system_file(input, space.ws, quiet);
  if (id.tokens.model.text[0] == 0) return;
  report.tokens = id.tokens;
  report.header =
      id.header == HeaderKind::short_header ? HeaderSeen::short_form : HeaderSeen::long_form;
  const HeaderForm& form = header_form(id.header);
  const ConstBytes header = head.first(form.size);
  report.header_texts[0] = text_of(field(header, form.text1));
  report.header_texts[1] = text_of(field(header, form.text2));
  report.header_texts[2] = text_of(field(header, form.text3));
  report.model_known = find_model_code(id.tokens.model.c_str(), report.model);
  const char* version_token = id.tokens.version.c_str();
  if (version_token[0] != 'V') return;
  report.has_version_number = true;
  report.version_number = version_number(version_value(version_token + 1));

  if (report.exit == 0) {
    const char* tail = verdict.mcfg_written != 0 ? " and writes MCFG.DAT" : "";
    why.print("converts from V%i.%02i to V2.50%s\n", report.version_number / 100,
              report.version_number % 100, tail);
    end_why();
  }

  const VersionLayout* layout = find_layout(report.version_number);
  if (layout == nullptr) return;
  std::size_t at = form.size;
  for (std::size_t b = 0; b < layout->blocks.size(); ++b) {
    const Block& block = layout->blocks[b];
    const bool whole = at + block.size <= head.size();
    if (whole && block.missing_status == kStatusAxisNames) {
      const std::size_t entry = block.size / kAxisCount;
      const std::size_t width = entry == kNameEntry39 ? kNameField39 : kNameField40;
      for (std::size_t k = 0; k < kAxisCount; ++k)
        report.axis_names[k] = text_of(head.subspan(at + k * entry, width));
    }
    if (whole && block.missing_status == kStatusGeneral) {
      const std::size_t width = block.size == kGeneral25 ? kGeneralText25 : kGeneralText28;
      report.general_text = text_of(head.subspan(at, width));
    }
    at += block.size;
  }
  if (size >= at) {
    report.has_trailing = true;
    report.trailing_bytes = size - at;
  }
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
  return std::bit_cast<double>(load_le64(block, field.offset));
}

ConstBytes mcfg_text(ConstBytes block, const McfgField& field) {
  const ConstBytes f = block.subspan(field.offset, field_width(field.kind));
  return f.first(text_length(f));
}

}  // namespace datlift::inspect
