// SPDX-License-Identifier: MIT
// A file system in memory behind the primitives of a run, for tests: files as numbered objects
// under names (so links, hard links and swaps behave as on disk), chosen calls failing, and
// abilities a real file system may lack (swapping names, hard links, locks).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "run/file_system.h"

namespace datlift::testing {

class FakeFileSystem final : public FileSystem {
 public:
  static constexpr int kFaultCode = 5;  // EIO

  // Abilities of the file system.
  bool can_link = true;
  bool can_lock = true;
  int umask = 022;
  // Numbers of the calls (from 1, counting every call that can fail) that fail with kFaultCode.
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
  // Another process's lock on SYSTEM.DAT, held for this many attempts to lock it.
  int busy_attempts = 0;

  // What happened.
  int calls = 0;
  std::vector<std::string> log;     // each counted call: "<primitive> <path>"
  std::vector<std::string> failed;  // the primitives of the calls made to fail
  int waited_ms = 0;
  int signals_held = 0;  // hold_signals() without release_signals() yet
  bool signals_released_in_order = true;
  // The names and contents at the moment the process ended, where it was killed.
  std::optional<std::map<std::string, std::string>> at_death;
  int writes_open_to_others = 0;  // writes to a file that others than the owner may open

  // Setting up and reading the files (no call counted).
  void put_file(const std::string& name, const std::string& content, int mode = 0644);
  void put_link(const std::string& name, const std::string& to);
  // Every name with its content ("-> to" for a link).
  std::map<std::string, std::string> contents() const;
  int mode_of(const std::string& name) const;

  FsStatus resolve(const char* name, Path& target, FileFacts& facts) override;
  FsStatus check_writable(const char* path) override;
  FsStatus open_read(const char* path, FileHandle& file, FileFacts& facts) override;
  FsStatus read(FileHandle file, Bytes dst, std::size_t& got) override;
  FsStatus create_new(const char* path, FileHandle& file, FileId& id) override;
  FsStatus copy_metadata(const char* from, FileHandle to) override;
  FsStatus set_new_file_access(const char* path, FileHandle to) override;
  FsStatus write(FileHandle file, std::span<const ConstBytes> parts) override;
  FsStatus sync(FileHandle file) override;
  FsStatus close(FileHandle file) override;
  FsStatus rename(const char* from, const char* to) override;
  FsStatus rename_new(const char* from, const char* to) override;
  FsStatus link(const char* existing, const char* name) override;
  FsStatus remove(const char* path) override;
  FsStatus sync_directory(const char* path) override;
  FsStatus lock(const char* name, FileHandle& lock, FileId& locked) override;
  void unlock(FileHandle lock) override;
  void wait_milliseconds(int ms) override { waited_ms += ms; }
  unsigned long process_id() override { return 4711; }
  void hold_signals() override { ++signals_held; }
  void release_signals() override;
  const char* describe(int code) override;
  bool errors_to_terminal() override { return false; }

 private:
  struct Object {
    std::string content;
    int mode = 0644;
  };
  struct Entry {
    std::uint64_t object = 0;  // 0: a symbolic link
    std::string link_to;
  };
  struct Open {
    std::uint64_t object;
    std::size_t position;
    std::string name;  // as opened, for the log
  };

  // Counts the call; whether it fails before doing anything.
  bool fault(const char* primitive, const std::string& path);
  // Whether the counted call, done, reports failure all the same.
  bool done_but_fails() const;
  // The object a name ends at through links; 0 when nothing is there.
  std::uint64_t follow(const std::string& name, std::string* target = nullptr) const;

  std::map<std::uint64_t, Object> objects_;
  std::map<std::string, Entry> names_;
  std::map<FileHandle, Open> open_;
  std::uint64_t next_object_ = 1;
  FileHandle next_handle_ = 3;
  bool kill_pending_ = false;
};

}  // namespace datlift::testing
