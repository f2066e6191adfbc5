// SPDX-License-Identifier: MIT
#include "run/program.h"

#include "common/text_sink.h"
#include "files/file_system_files.h"

namespace datlift {
namespace {

// Each line that goes through it begins with the program's and the file's name.
class PrefixedSink final : public OutputSink {
 public:
  explicit PrefixedSink(OutputSink& sink) : sink_(sink) {}
  void write(const char* data, std::size_t size) override {
    static constexpr char kPrefix[] = "datlift: SYSTEM.DAT: ";
    sink_.write(kPrefix, sizeof kPrefix - 1);
    sink_.write(data, size);
  }

 private:
  OutputSink& sink_;
};

}  // namespace

int run_program(int argc, const char* const* argv, FileSystem& fs, Environment& env,
                OutputSink& out, OutputSink& err, RunStorage& space) {
  Console console(out);
  // Names and a file's tokens reach these lines: escaped, each line stays one.
  Console errors(err, Texts::escaped);
  FileSystemFiles files(fs, env, errors);
  // Why a file is refused, for a person at a terminal; scripts that capture standard error see
  // nothing more than before.
  PrefixedSink prefixed(err);
  Discard discard;
  Console why(env.errors_to_terminal() ? static_cast<OutputSink&>(prefixed) : discard,
              Texts::escaped);
  const int args = argc > 0 ? argc - 1 : 0;
  return run_datlift(args, argv == nullptr ? nullptr : argv + 1, files, console, why, space);
}

}  // namespace datlift
