// SPDX-License-Identifier: MIT
#include "run/program.h"

int main(int argc, char** argv) {
  // The whole working set of a run: fixed storage, zero at start.
  static datlift::Workspace space;
  return datlift::run_on_this_system(argc, argv, space);
}
