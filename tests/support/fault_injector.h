// SPDX-License-Identifier: MIT
// One mechanism for every failure path: a file system that wraps any other (in memory, or the
// disk's own primitives) and fails chosen calls, does chosen calls and reports failure all the
// same, pretends to lack hard links or locks, or notes what the files are when the process is
// killed at a chosen call. It is also the process's environment: its clock only counts, its
// signals are only counted.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "files/environment.h"
#include "support/test_file_system.h"

namespace datlift::test {

class FaultInjector final : public FileSystem, public Environment {
 public:
  // `snapshot` tells what the files are, for a kill.
  FaultInjector(FileSystem& inner, std::function<Contents()> snapshot)
      : inner_(inner), snapshot_(std::move(snapshot)) {}

  // Numbers of the calls (from 1, counting every call of the file system) that fail with
  // kFaultCode before doing anything.
  std::set<int> fail_at;
  // Calls named by one of these ("<primitive> <part of the path>") fail, each once.
  std::vector<std::string> fail_named;
  // Numbers of the calls that do their work and then report failure all the same, as a rename,
  // link or removal on NFS can after a retransmission (other calls fail as in fail_at).
  std::set<int> done_but_failed;
  // The call at which the process is killed (0: never): SIGKILL, or a signal that is held while
  // signals are held and ends the process when they are released.
  int kill_at = 0;
  bool kill_is_held = false;
  // Abilities the file system seems to lack, and another process's lock on SYSTEM.DAT, held for
  // this many attempts to lock it.
  bool can_link = true;
  bool can_lock = true;
  int busy_attempts = 0;

  // Another process that changes the files just before the call numbered `meddle_at` does its
  // work (0: none).
  int meddle_at = 0;
  std::function<void()> meddle;

  // What happened.
  int calls = 0;
  std::vector<std::string> log;     // each call: "<primitive> <name>" (names in its directory)
  std::vector<std::string> failed;  // the primitives of the calls made to fail
  int waited_ms = 0;
  int signals_held = 0;  // hold_signals() without release_signals() yet
  bool signals_released_in_order = true;
  // The files at the moment the process ended, where it was killed.
  std::optional<Contents> at_death;

  FsStatus resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) override;
  void close_directory(DirHandle dir) override { inner_.close_directory(dir); }
  FsStatus look(DirHandle dir, const char* name, FileFacts& facts) override;
  FsStatus check_writable(DirHandle dir, const char* name) override;
  FsStatus open_read(DirHandle dir, const char* name, FileHandle& file, FileFacts& facts) override;
  FsStatus read(FileHandle file, Bytes dst, std::size_t& got) override;
  FsStatus create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) override;
  FsStatus copy_metadata(DirHandle dir, const char* name, const FileId& old,
                         FileHandle to) override;
  FsStatus set_new_file_access(DirHandle dir, FileHandle to) override;
  FsStatus write(FileHandle file, std::span<const ConstBytes> parts) override;
  FsStatus sync(FileHandle file) override;
  FsStatus close(FileHandle file) override;
  FsStatus rename(DirHandle dir, const char* from, const char* to) override;
  FsStatus rename_new(DirHandle dir, const char* from, const char* to) override;
  FsStatus link(DirHandle dir, const char* existing, const char* name) override;
  FsStatus remove(DirHandle dir, const char* name) override;
  FsStatus sync_directory(DirHandle dir) override;
  bool keeps_name_order(DirHandle dir) override { return inner_.keeps_name_order(dir); }
  FsStatus lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) override;
  void unlock(FileHandle lock) override { inner_.unlock(lock); }
  const char* describe(int code) override;

  unsigned long process_id() override { return 4711; }
  void hold_signals() override { ++signals_held; }
  void release_signals() override;
  void wait_milliseconds(int ms) override { waited_ms += ms; }
  bool errors_to_terminal() override { return false; }

 private:
  // What a call does: its work, then whether to report failure.
  enum class Fate { work, fail, fail_after_work };
  Fate fate(const char* primitive, const std::string& path);
  // The call's work by the inner file system, with its fate.
  FsStatus apply(const char* primitive, const std::string& path,
                 const std::function<FsStatus()>& work);

  FileSystem& inner_;
  std::function<Contents()> snapshot_;
  std::string name_of(FileHandle file) const;

  std::map<FileHandle, std::string> names_;  // the path each handle was opened as, for the log
  bool kill_pending_ = false;
};

}  // namespace datlift::test
