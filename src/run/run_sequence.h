// SPDX-License-Identifier: MIT
// The course of one run, from the banner to the exit code.
#pragma once

#include "common/console.h"
#include "files/run_files.h"
#include "mcfg/mcfg_block.h"
#include "sysfile/system_file.h"
#include "upgrade/version_table.h"
#include "upgrade/working_set.h"

namespace datlift {

// What a run works in, beside its files: the working set of a table of versions, the MCFG block
// and the image of the new SYSTEM.DAT. All zero when the run starts.
struct RunMemory {
  WorkingSet& ws;
  McfgBlock& mcfg;
  SystemImage& image;
};

// The fixed storage of a run of the product's versions.
struct RunStorage {
  ProductWorkingSet ws{kVersions};
  McfgBlock mcfg;
  SystemImage image;
  RunMemory memory() { return {ws, mcfg, image}; }
  // All zero again, for another run.
  void clear() {
    ws.clear();
    mcfg = McfgBlock{};
    image = SystemImage{};
  }
};

// Runs the program on the arguments (its own name excluded) over the versions of `memory`'s
// working set, and returns the exit code. The run prints its messages to `out`; why it refuses a
// file goes to `why`, in one line, first.
int run_versions(int argc, const char* const* argv, RunFiles& files, Console& out, Console& why,
                 RunMemory memory);

// The same, over the product's versions.
inline int run_datlift(int argc, const char* const* argv, RunFiles& files, Console& out,
                       Console& why, RunStorage& storage) {
  return run_versions(argc, argv, files, out, why, storage.memory());
}

}  // namespace datlift
