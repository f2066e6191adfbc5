// SPDX-License-Identifier: MIT
// A run's files in memory: SYSTEM.DAT's bytes as the input, and room for what the run puts in
// place. The same run sequence as on disk, without one: for datlift-inspect's dry runs, the page in
// the browser, the tests, the fuzzers and the benchmarks.
#pragma once

#include <cstddef>

#include "files/run_files.h"

namespace datlift {

class MemoryFiles final : public RunFiles {
 public:
  // `system_out` and `mcfg_out` take the new files; one that does not fit fails the replacement.
  // Where both are empty, only the sizes of the new files are kept.
  MemoryFiles(ConstBytes system_dat, Bytes system_out, Bytes mcfg_out)
      : source_(system_dat), system_out_(system_out), mcfg_out_(mcfg_out) {}
  MemoryFiles(const MemoryFiles&) = delete;
  MemoryFiles& operator=(const MemoryFiles&) = delete;

  LockResult lock_system() override;
  InputStream* open_input() override;
  void close_input() override;
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override;

  // Whether there is a SYSTEM.DAT at all.
  bool present = true;

  // What the run did.
  bool input_open = false;
  std::size_t bytes_read = 0;  // also the furthest offset read: the input is read front to back
  bool replaced = false;

  // The files as put in place (empty where none was, or only sizes are kept).
  ConstBytes system_written() const { return ConstBytes(system_out_).first(kept(system_size_)); }
  ConstBytes mcfg_written() const { return ConstBytes(mcfg_out_).first(kept(mcfg_size_)); }
  std::size_t system_size() const { return system_size_; }
  std::size_t mcfg_size() const { return mcfg_size_; }

 private:
  class Input final : public InputStream {
   public:
    explicit Input(MemoryFiles& files) : files_(files) {}
    std::size_t read(Bytes dst) override;

   private:
    MemoryFiles& files_;
  };

  bool sizes_only() const { return system_out_.empty() && mcfg_out_.empty(); }
  std::size_t kept(std::size_t size) const { return sizes_only() ? 0 : size; }

  ConstBytes source_;
  Bytes system_out_;
  Bytes mcfg_out_;
  std::size_t system_size_ = 0;
  std::size_t mcfg_size_ = 0;
  Input input_{*this};
};

}  // namespace datlift
