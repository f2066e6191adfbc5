// SPDX-License-Identifier: MIT
// The files of the current directory, through the primitives of a FileSystem: the lock that
// serialises runs, the input, and the replace protocol. Written once for every platform.
#pragma once

#include "common/console.h"
#include "run/file_system.h"
#include "run/path.h"
#include "run/run_files.h"

namespace datlift {

// How long a run waits for another run on the same SYSTEM.DAT, and how often it looks again.
constexpr int kLockWaitMilliseconds = 10000;
constexpr int kLockPollMilliseconds = 10;
// Temporary names tried per file; a name is taken only by a killed run's left-over file.
constexpr unsigned long kTempNameAttempts = 100;

class DiskFiles final : public RunFiles {
 public:
  // `errors` takes the explanations for people (standard error), one line each.
  DiskFiles(FileSystem& fs, Console& errors) : fs_(fs), errors_(errors) {}
  ~DiskFiles();
  DiskFiles(const DiskFiles&) = delete;
  DiskFiles& operator=(const DiskFiles&) = delete;

  LockResult lock_system() override;
  InputStream* open_input() override;
  void close_input() override;
  // Stages each file in a temporary file beside it (created exclusively, given the old file's
  // metadata, written whole, synced, closed), then puts them in place: MCFG.DAT first, its old
  // content kept under another name until SYSTEM.DAT is in place too, and put back if that
  // fails. A link is followed: its target receives the new content. Termination signals are
  // held meanwhile, so that the files end up either both new or both as they were.
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override;

  // A file on its way into place: the name it replaces (a link resolved to its target), what was
  // there, and the temporary file beside it.
  struct Staged {
    Path target;
    FileFacts old;
    Path temp;
    bool has_temp;
  };
  // How the new MCFG.DAT went into place, and so where the old one is until SYSTEM.DAT is too.
  enum class Placed {
    failed,     // not placed; the old MCFG.DAT is in place (or where a note says)
    created,    // there was none
    exchanged,  // the old one under the temporary name
    set_aside,  // the old one under the backup name (a second link, or renamed)
  };

 private:
  class Input final : public InputStream {
   public:
    explicit Input(DiskFiles& files) : files_(files) {}
    std::size_t read(Bytes dst) override;
    FileHandle file = kNoFile;

   private:
    DiskFiles& files_;
  };

  void report(const char* file, const char* step, FsStatus status);
  void report_text(const char* file, const char* step, const char* text);
  void note_old_mcfg(const char* where);
  bool prepare(const char* name, Staged& s);
  bool temp_name(const Path& target, unsigned long attempt, Path& name);
  FsStatus create_temp(const Path& target, Path& temp, FileHandle& file);
  bool stage(Staged& s, std::span<const ConstBytes> content);
  void discard(Staged& s);
  Placed place_mcfg();
  Placed set_mcfg_aside();
  void put_back(Placed placed);
  void drop_old_mcfg(Placed placed);
  void sync_directories(bool with_mcfg);
  ReplaceResult replace(std::span<const ConstBytes> system, ConstBytes mcfg);
  void release_lock();

  FileSystem& fs_;
  Console& errors_;
  Input input_{*this};
  FileHandle lock_ = kNoFile;
  Staged system_;
  Staged mcfg_;
  Path backup_;  // the old MCFG.DAT's name while set aside
};

}  // namespace datlift
