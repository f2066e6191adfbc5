// SPDX-License-Identifier: MIT
// The course of one run, from the banner to the exit code.
#pragma once

#include "common/console.h"
#include "files/run_files.h"
#include "mcfg/mcfg_block.h"
#include "sysfile/system_file.h"
#include "sysfile/working_set.h"

namespace datlift {

// The fixed storage of a run; all zero when the run starts.
struct Workspace {
  WorkingSet ws;
  McfgBlock mcfg;
  SystemImage image;
};

// Runs the program on the arguments (its own name excluded) and returns the exit code. The run
// prints its messages to `out`; why it refuses a file goes to `why`, in one line, first.
int run_datlift(int argc, const char* const* argv, RunFiles& files, Console& out, Console& why,
                Workspace& space);

}  // namespace datlift
