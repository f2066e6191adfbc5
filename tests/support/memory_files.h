// SPDX-License-Identifier: MIT
// A run's files held in memory: the input image, and what the run would have put in place.
// Drives whole runs in tests, fuzzing and benchmarks without touching the disk.
#pragma once

#include <cstddef>
#include <string_view>

#include "common/console.h"
#include "mcfg/mcfg_block.h"
#include "run/run_files.h"
#include "sysfile/layout.h"
#include "sysfile/working_set.h"

namespace datlift {

class MemoryFiles final : public RunFiles {
 public:
  // present: whether SYSTEM.DAT can be opened at all.
  explicit MemoryFiles(ConstBytes system_dat, bool present = true)
      : source_(system_dat), present_(present) {}

  LockResult lock_system() override;
  InputStream* open_input() override;
  void close_input() override;
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override;

  // What the run did.
  int locks = 0;
  int opens = 0;
  bool input_open = false;
  std::size_t bytes_read = 0;  // also the furthest offset read: the input is read front to back
  bool replaced = false;
  ByteArray<kMaxFileSize> system_out{};
  std::size_t system_size = 0;
  bool mcfg_written = false;
  ByteArray<kMcfgSize> mcfg_out{};

  // What taking the lock gives.
  LockResult lock_with = LockResult::locked;
  // A failure to report instead of putting the files in place.
  ReplaceResult fail_with = ReplaceResult::ok;

  ConstBytes system_written() const { return ConstBytes(system_out).first(system_size); }

  // Ready for another run on the same input; the output buffers keep their bytes.
  void reset() {
    locks = opens = 0;
    input_open = false;
    bytes_read = 0;
    replaced = mcfg_written = false;
    system_size = 0;
  }

 private:
  class Input final : public InputStream {
   public:
    explicit Input(MemoryFiles& files) : files_(files) {}
    std::size_t read(Bytes dst) override;

   private:
    MemoryFiles& files_;
  };
  ConstBytes source_;
  bool present_;
  Input input_{*this};
};

class MemorySink final : public OutputSink {
 public:
  void write(const char* data, std::size_t size) override;
  std::string_view text() const { return {buffer_, size_}; }

 private:
  char buffer_[32768] = {};
  std::size_t size_ = 0;
};

}  // namespace datlift
