// SPDX-License-Identifier: MIT
// Whole runs on arbitrary input: the argument list and SYSTEM.DAT both come from the fuzzer.
//
// Input: one byte n, then n bytes of arguments separated by newlines, then SYSTEM.DAT. An empty
// input stands for a missing SYSTEM.DAT. Besides finding crashes and sanitizer reports, checks:
//   - a refused run puts no file in place;
//   - a successful run's SYSTEM.DAT has exactly the size of its version, and identifying it again
//     yields the target version and the selected model;
//   - MCFG.DAT, when written, is the default image.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "mcfg/mcfg_block.h"
#include "run/options.h"
#include "run/run_sequence.h"
#include "support/memory_files.h"
#include "sysfile/identify.h"
#include "sysfile/layout.h"
#include "sysfile/version.h"

namespace {

using namespace datlift;

void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

// Identifies an image in memory, printing nothing that is kept.
Identification identify(ConstBytes image, WorkingSet& ws) {
  MemoryFiles files(image);
  MemorySink sink;
  Console console(sink);
  return identify_system_file(*files.open_input(), ws, console);
}

struct Storage {
  Workspace space;
  WorkingSet check;
  char args[256][256];
  const char* argv[256];
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Storage* storage = new Storage;
  Storage& st = *storage;
  st.space = Workspace{};

  const std::size_t args_size = size == 0 ? 0 : std::min<std::size_t>(data[0], size - 1);
  const std::uint8_t* args = data + (size == 0 ? 0 : 1);
  int argc = 0;
  std::size_t length = 0;
  for (std::size_t i = 0; i <= args_size && argc < 256; ++i) {
    if (i == args_size || args[i] == '\n') {
      if (i > 0 || args_size > 0) {
        st.args[argc][length] = 0;
        st.argv[argc] = st.args[argc];
        ++argc;
      }
      length = 0;
    } else if (length < 255) {
      // A NUL cannot stand in an argument: it ends it.
      st.args[argc][length++] = args[i] == 0 ? '\n' : static_cast<char>(args[i]);
    }
  }
  const std::size_t header = size == 0 ? 0 : 1 + args_size;
  const ConstBytes system(data + header, size - header);

  MemoryFiles files(system, size != 0);
  MemorySink sink;
  Console console(sink);
  const int code = run_datlift(argc, st.argv, files, console, st.space);

  require(!files.input_open, "input left open");
  require(files.bytes_read <= kMaxFileSize, "read behind the largest layout");
  if (code != 0 || !files.replaced) {
    require(!files.replaced && !files.mcfg_written, "a refused run put files in place");
    return 0;
  }

  Options options;
  require(parse_options(argc, st.argv, options), "success despite a usage error");
  const int target = version_number(options.target_value);
  const VersionLayout* layout = find_layout(target);
  require(layout != nullptr && target != kV171, "written with a target that has no layout");
  require(files.system_size == layout->file_size, "SYSTEM.DAT of the wrong size");

  st.check = WorkingSet{};
  const Identification in = identify(system, st.check);
  Model file_model;
  require(in.identified && find_model_code(in.tokens.model.c_str(), file_model),
          "input not identified");
  const Model selected = options.model_accepted ? options.selected_model : file_model;

  st.check = WorkingSet{};
  const Identification out = identify(files.system_written(), st.check);
  Model out_model;
  require(out.identified, "output not identified");
  require(find_model_code(out.tokens.model.c_str(), out_model) && out_model == selected,
          "output names another model");
  require(version_number(version_value(out.tokens.version.c_str() + 1)) == target,
          "output names another version");
  require(out.header == layout->written_header, "output identified by the other header form");

  if (files.mcfg_written) {
    McfgBlock defaults;
    fill_mcfg_defaults(defaults);
    require(files.mcfg_out == defaults.bytes, "MCFG.DAT is not the default image");
  }
  return 0;
}
