// SPDX-License-Identifier: MIT
// Whole runs of the program on an in-memory SYSTEM.DAT, for tests.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "run/run_sequence.h"
#include "support/memory_files.h"

namespace datlift::testing {

struct RunOutcome {
  int code = -1;
  std::string printed;
  bool replaced = false;
  std::vector<std::uint8_t> system;  // SYSTEM.DAT as put in place
  bool mcfg_written = false;
  std::vector<std::uint8_t> mcfg;
  std::size_t bytes_read = 0;
  int locks = 0;
  int opens = 0;
  bool input_left_open = false;
};

struct RunSetup {
  bool present = true;
  ReplaceResult fail_with = ReplaceResult::ok;
  LockResult lock_with = LockResult::locked;
};

inline RunOutcome run_in_memory(const std::vector<std::uint8_t>& image,
                                const std::vector<std::string>& args, RunSetup setup = {}) {
  auto files = std::make_unique<MemoryFiles>(image, setup.present);
  files->fail_with = setup.fail_with;
  files->lock_with = setup.lock_with;
  auto sink = std::make_unique<MemorySink>();
  auto space = std::make_unique<Workspace>();
  Console console(*sink);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  RunOutcome out;
  out.code = run_datlift(static_cast<int>(argv.size()), argv.data(), *files, console, *space);
  out.printed = std::string(sink->text());
  out.replaced = files->replaced;
  const ConstBytes system = files->system_written();
  out.system.assign(system.begin(), system.end());
  out.mcfg_written = files->mcfg_written;
  if (out.mcfg_written) out.mcfg.assign(files->mcfg_out.begin(), files->mcfg_out.end());
  out.bytes_read = files->bytes_read;
  out.locks = files->locks;
  out.opens = files->opens;
  out.input_left_open = files->input_open;
  return out;
}

}  // namespace datlift::testing
