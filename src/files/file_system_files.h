// SPDX-License-Identifier: MIT
// SYSTEM.DAT and MCFG.DAT of the current directory on a file system, through its primitives: the
// lock that serialises runs, the input, and the replace protocol. Written once for every
// platform, and for the file system in memory.
#pragma once

#include <optional>

#include "common/console.h"
#include "files/environment.h"
#include "files/file_report.h"
#include "files/file_system.h"
#include "files/path.h"
#include "files/place.h"
#include "files/run_files.h"
#include "files/staged_file.h"

namespace datlift {

// How long a run waits for another run on the same SYSTEM.DAT, and how often it looks again.
constexpr int kLockWaitMilliseconds = 10000;
constexpr int kLockPollMilliseconds = 10;

class FileSystemFiles final : public RunFiles {
 public:
  // `errors` takes the explanations for people (standard error), one line each.
  FileSystemFiles(FileSystem& fs, Environment& env, Console& errors)
      : fs_(fs), env_(env), report_(fs, errors), system_(fs), mcfg_(fs) {}
  ~FileSystemFiles();
  FileSystemFiles(const FileSystemFiles&) = delete;
  FileSystemFiles& operator=(const FileSystemFiles&) = delete;

  // Follows SYSTEM.DAT once, locks the file it stands for and opens that file for reading: the
  // file read is the file locked, and the file replaced.
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
    explicit Input(FileSystemFiles& files) : files_(files) {}
    std::size_t read(Bytes dst) override;
    FileHandle file = kNoFile;

   private:
    FileSystemFiles& files_;
  };

  enum class Opened { yes, no, changed };
  Opened open_system();
  std::optional<LockResult> try_lock();
  static LockResult lock_result(Opened opened);
  ReplaceResult replace(std::span<const ConstBytes> system, ConstBytes mcfg);
  ReplaceResult replace_both(StagedFile& sys, ConstBytes mcfg);
  bool apart() const;
  bool names_in_order(const StagedFile& sys, const StagedFile& cfg);
  [[nodiscard]] bool durable(const Place& place);
  void release_lock();

  FileSystem& fs_;
  Environment& env_;
  FileReport report_;
  Place system_;    // where SYSTEM.DAT led, followed once
  FileFacts read_;  // the file read there: the one locked, and the one to replace
  Input input_{*this};
  FileHandle lock_ = kNoFile;
  Place mcfg_;  // where MCFG.DAT led, followed once when it is due
};

}  // namespace datlift
