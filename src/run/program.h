// SPDX-License-Identifier: MIT
// The program around a run: its files on a file system, its standard streams.
#pragma once

#include "common/console.h"
#include "files/environment.h"
#include "files/file_system.h"
#include "run/run_sequence.h"

namespace datlift {

// Runs the program with its whole argument list (its own name first) on the given file system and
// environment; messages go to `out`, explanations for people to `err`. Returns the exit code.
int run_program(int argc, const char* const* argv, FileSystem& fs, Environment& env,
                OutputSink& out, OutputSink& err, RunStorage& space);

}  // namespace datlift
