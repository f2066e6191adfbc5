// SPDX-License-Identifier: MIT
// Whole runs of the program on an in-memory SYSTEM.DAT, for tests.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "run/run_sequence.h"

namespace datlift::test {

struct RunOutcome {
  int code = -1;
  std::string printed;
  std::string why;  // the explanation of a refusal
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

// A run's files in memory that answer the lock, and fail the replacement, as a test asks, and
// count how often the run asked for the lock and the input.
class ScriptedFiles final : public RunFiles {
 public:
  explicit ScriptedFiles(MemoryFiles& files) : files_(files) {}
  LockResult lock_with = LockResult::locked;
  ReplaceResult fail_with = ReplaceResult::ok;
  int locks = 0;
  int opens = 0;

  LockResult lock_system() override {
    ++locks;
    return lock_with == LockResult::locked ? files_.lock_system() : lock_with;
  }
  InputStream* open_input() override {
    ++opens;
    return files_.open_input();
  }
  void close_input() override { files_.close_input(); }
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override {
    return fail_with != ReplaceResult::ok ? fail_with : files_.replace_files(system, mcfg);
  }

 private:
  MemoryFiles& files_;
};

// Room for what a run in memory prints and writes.
struct RunRoom {
  std::array<char, 32768> out{};
  std::array<char, 4096> why{};
  ByteArray<kMaxFileSize> system{};
  ByteArray<kMcfgSize> mcfg{};
  RunStorage space{};
};

inline RunOutcome run_in_memory(const std::vector<std::uint8_t>& image,
                                const std::vector<std::string>& args, RunSetup setup = {}) {
  auto room = std::make_unique<RunRoom>();
  MemoryFiles files(image, room->system, room->mcfg);
  files.present = setup.present;
  ScriptedFiles scripted(files);
  scripted.fail_with = setup.fail_with;
  scripted.lock_with = setup.lock_with;
  TextSink out(room->out), why(room->why);
  Console console(out), explanation(why);
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  RunOutcome r;
  r.code = run_datlift(static_cast<int>(argv.size()), argv.data(), scripted, console, explanation,
                       room->space);
  r.printed = std::string(out.text());
  r.why = std::string(why.text());
  r.replaced = files.replaced;
  r.system.assign(files.system_written().begin(), files.system_written().end());
  r.mcfg_written = !files.mcfg_written().empty();
  r.mcfg.assign(files.mcfg_written().begin(), files.mcfg_written().end());
  r.bytes_read = files.bytes_read;
  r.locks = scripted.locks;
  r.opens = scripted.opens;
  r.input_left_open = files.input_open;
  return r;
}

}  // namespace datlift::test
