// SPDX-License-Identifier: MIT
#include "run/program.h"

#include "run/disk_files.h"

namespace datlift {

int run_program(int argc, const char* const* argv, FileSystem& fs, OutputSink& out, OutputSink& err,
                Workspace& space) {
  Console console(out);
  Console errors(err);
  DiskFiles files(fs, errors);
  const int args = argc > 0 ? argc - 1 : 0;
  return run_datlift(args, argv == nullptr ? nullptr : argv + 1, files, console, space);
}

}  // namespace datlift
