// SPDX-License-Identifier: MIT
// The program around a run: the operating system's files and standard streams.
#pragma once

#include "common/console.h"
#include "run/file_system.h"
#include "run/run_sequence.h"

namespace datlift {

// Runs the program with its whole argument list (its own name first) on the given file system;
// messages go to `out`, explanations for people to `err`. Returns the exit code.
int run_program(int argc, const char* const* argv, FileSystem& fs, OutputSink& out, OutputSink& err,
                Workspace& space);

// Sets up the process and runs the program on this operating system's files (one
// implementation per platform).
int run_on_this_system(int argc, const char* const* argv, Workspace& space);

}  // namespace datlift
