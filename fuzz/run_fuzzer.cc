// SPDX-License-Identifier: MIT
// Whole runs on arbitrary input: the argument list and SYSTEM.DAT both come from the fuzzer.
//
// Input: the arguments and SYSTEM.DAT (see fuzz_support.h). Besides finding crashes and sanitizer
// reports, checks:
//   - a refused run puts no file in place;
//   - a successful run's SYSTEM.DAT has exactly the size of its version, and identifying it again
//     yields the target version and the selected model;
//   - MCFG.DAT, when written, is the default image.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "fuzz_support.h"
#include "mcfg/mcfg_block.h"
#include "run/options.h"
#include "run/run_sequence.h"
#include "sysfile/identify.h"
#include "sysfile/layout.h"
#include "sysfile/version.h"

namespace {

using namespace datlift;

// Identifies an image in memory, printing nothing that is kept.
Identification identify(ConstBytes image, Headers& headers) {
  MemoryFiles files(image, {}, {});
  Discard discard;
  Console console(discard);
  headers = Headers{};
  return identify_system_file(*files.open_input(), headers, console);
}

struct Storage {
  RunStorage space;
  Headers check;
  FuzzInput input;
  ByteArray<kMaxFileSize> system_out;
  ByteArray<kMcfgSize> mcfg_out;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static Storage* storage = new Storage;
  Storage& st = *storage;
  st.space.clear();

  st.input.split(data, size);
  const int argc = st.input.argc;
  const char* const* argv = st.input.argv;
  const ConstBytes system = st.input.file;

  MemoryFiles files(system, st.system_out, st.mcfg_out);
  files.present = st.input.present;
  Discard discard;
  Console console(discard);
  const int code = run_datlift(argc, argv, files, console, console, st.space);

  require(!files.input_open, "input left open");
  require(files.bytes_read <= kMaxFileSize, "read behind the largest layout");
  if (code != 0 || !files.replaced) {
    require(!files.replaced && files.mcfg_written().empty(), "a refused run put files in place");
    return 0;
  }

  Options options;
  require(parse_options(argc, argv, newest(kVersions).number / 100.0, options),
          "success despite a usage error");
  const int target = version_number(options.target_value);
  const Version* version = find_version(kVersions, target);
  require(version != nullptr && version->step != nullptr,
          "written with a target that has no layout");
  require(files.system_written().size() == file_size(*version), "SYSTEM.DAT of the wrong size");

  const Identification in = identify(system, st.check);
  Model file_model;
  require(in.identified && find_model_code(in.tokens.model.c_str(), file_model),
          "input not identified");
  const Model selected = options.model_accepted ? options.selected_model : file_model;

  const Identification out = identify(files.system_written(), st.check);
  Model out_model;
  require(out.identified, "output not identified");
  require(find_model_code(out.tokens.model.c_str(), out_model) && out_model == selected,
          "output names another model");
  require(version_number(version_value(out.tokens.version.c_str() + 1)) == target,
          "output names another version");
  require(out.header == version->header, "output identified by the other header form");

  if (!files.mcfg_written().empty()) {
    McfgBlock defaults;
    fill_mcfg_defaults(defaults);
    require(std::equal(files.mcfg_written().begin(), files.mcfg_written().end(),
                       defaults.bytes.begin(), defaults.bytes.end()),
            "MCFG.DAT is not the default image");
  }
  return 0;
}
