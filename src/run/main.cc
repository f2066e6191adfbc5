// SPDX-License-Identifier: MIT
#include "files/os.h"
#include "run/program.h"

int main(int argc, char** argv) {
  // The whole working set of a run: fixed storage, zero at start.
  static constinit datlift::RunStorage space;
  datlift::prepare_process();
  datlift::OsFileSystem fs;
  datlift::OsEnvironment env;
  datlift::StandardStream out(1);
  datlift::StandardStream err(2);
  return datlift::run_program(argc, argv, fs, env, out, err, space);
}
