// SPDX-License-Identifier: MIT
// datlift-inspect's core on arbitrary input: the file and the options of a dry run come from the
// fuzzer (see fuzz_support.h). Besides finding crashes and sanitizer reports, checks:
//   - the dry run prints, exits with and writes what datlift's run on the same file does;
//   - the verdict is the exit code and the last line of datlift's run without options;
//   - every text shown lies within the file's bytes and ends before a NUL;
//   - an MCFG file's stray bytes are non-zero, and it is the default image exactly when it says so.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "fuzz_support.h"
#include "inspect/inspect.h"
#include "mcfg/mcfg_block.h"

namespace {

using namespace datlift;

struct Storage {
  RunStorage space;
  FuzzInput input;
  inspect::RunReport run;
  inspect::SystemReport system;
  inspect::McfgReport mcfg;
  ByteArray<kMaxFileSize> system_out;
  ByteArray<kMcfgSize> mcfg_out;
  std::array<char, 65536> printed;
};

// datlift's own run on the whole file, as the program would make it.
int run_on(int argc, const char* const* argv, Storage& st, MemoryFiles& files, TextSink& sink) {
  st.space.clear();
  Console console(sink);
  Discard discard;
  Console why(discard);
  return run_datlift(argc, argv, files, console, why, st.space);
}

void require_within(const inspect::Text& t, ConstBytes head) {
  if (!t.present) return;
  require(
      t.bytes.data() >= head.data() && t.bytes.data() + t.bytes.size() <= head.data() + head.size(),
      "a text shown from outside the file");
  require(std::find(t.bytes.begin(), t.bytes.end(), 0) == t.bytes.end(), "a text past its NUL");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Storage* storage = new Storage;
  Storage& st = *storage;
  st.input.split(data, size);
  const ConstBytes file = st.input.file;
  const ConstBytes head = file.first(std::min(file.size(), inspect::kMaxInspected));

  {
    MemoryFiles files(file, st.system_out, st.mcfg_out);
    TextSink sink(st.printed);
    const int code = run_on(st.input.argc, st.input.argv, st, files, sink);
    inspect::dry_run(head, st.input.argc, st.input.argv, true, st.space, st.run);
    require(st.run.exit == code, "dry run exits otherwise");
    const std::string_view dry(st.run.output, st.run.output_size);
    if (sink.text().size() < inspect::kMaxRunOutput)
      require(dry == sink.text(), "dry run prints otherwise");
    else
      require(sink.text().substr(0, dry.size()) == dry, "dry run prints otherwise");
    require(st.run.system_written == files.system_written().size(),
            "dry run writes another SYSTEM.DAT");
    require(std::equal(files.system_written().begin(), files.system_written().end(),
                       st.run.system.begin()),
            "dry run writes other bytes to SYSTEM.DAT");
    require(st.run.mcfg_written == files.mcfg_written().size(), "dry run writes another MCFG.DAT");
  }

  {
    MemoryFiles files(file, st.system_out, st.mcfg_out);
    TextSink sink(st.printed);
    const int code = run_on(0, nullptr, st, files, sink);
    inspect::inspect_system(head, file.size(), st.space, st.run, st.system);
    require(st.system.exit == code, "verdict with another exit code");
    std::string_view out = sink.text();
    if (!out.empty() && out.back() == '\n') out.remove_suffix(1);
    require(out.substr(out.rfind('\n') + 1) == st.system.message, "verdict with another message");
    for (const inspect::Text& t : st.system.header_texts) require_within(t, head);
    require_within(st.system.general_text, head);
    for (const inspect::Text& t : st.system.axis_names) require_within(t, head);
    require(!st.system.has_trailing || st.system.trailing_bytes <= file.size(),
            "more bytes behind the last block than in the file");
  }

  inspect::inspect_mcfg(file, file.size(), st.mcfg);
  require(st.mcfg.whole == (file.size() == kMcfgSize), "MCFG size misjudged");
  if (st.mcfg.whole) {
    for (std::size_t i = 0; i < st.mcfg.stray_count; ++i)
      require(file[st.mcfg.stray[i]] != 0, "a zero byte called stray");
    const ByteArray<kMcfgSize>& defaults = mcfg_default_image();
    require(st.mcfg.is_default == std::equal(file.begin(), file.end(), defaults.begin()),
            "default image misjudged");
  }
  return 0;
}
