// SPDX-License-Identifier: MIT
// The files of the current directory, through the primitives of a FileSystem: the lock that
// serialises runs, the input, and the replace protocol. Written once for every platform.
#pragma once

#include "common/console.h"
#include "run/file_report.h"
#include "run/file_system.h"
#include "run/path.h"
#include "run/run_files.h"

namespace datlift {

// How long a run waits for another run on the same SYSTEM.DAT, and how often it looks again.
constexpr int kLockWaitMilliseconds = 10000;
constexpr int kLockPollMilliseconds = 10;

class DiskFiles final : public RunFiles {
 public:
  // `errors` takes the explanations for people (standard error), one line each.
  DiskFiles(FileSystem& fs, Console& errors) : fs_(fs), report_(fs, errors) {}
  ~DiskFiles();
  DiskFiles(const DiskFiles&) = delete;
  DiskFiles& operator=(const DiskFiles&) = delete;

  LockResult lock_system() override;
  InputStream* open_input() override;
  void close_input() override;
  // Stages each file beside the file it stands for (a link's target), then puts them in place:
  // MCFG.DAT first, its old content kept under another name until SYSTEM.DAT is in place too, and
  // put back if that fails (see staged_file.h). Every signal that would end the process is held
  // meanwhile, so that the files end up either both new or both as they were.
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override;

 private:
  class Input final : public InputStream {
   public:
    explicit Input(DiskFiles& files) : files_(files) {}
    std::size_t read(Bytes dst) override;
    FileHandle file = kNoFile;

   private:
    DiskFiles& files_;
  };

  ReplaceResult replace(std::span<const ConstBytes> system, ConstBytes mcfg);
  void sync_directories(const Path& system, const Path* mcfg);
  void release_lock();

  FileSystem& fs_;
  FileReport report_;
  Input input_{*this};
  FileHandle lock_ = kNoFile;
};

}  // namespace datlift
