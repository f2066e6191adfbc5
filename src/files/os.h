// SPDX-License-Identifier: MIT
// The operating system the program runs on: its file system, the environment of the process and
// its standard streams. One implementation per platform (os_posix.cc, os_win32.cc), the only code
// that calls the operating system; each depends on nothing but the interfaces it implements.
#pragma once

#include <cstdint>

#include "common/console.h"
#include "files/environment.h"
#include "files/file_system.h"

namespace datlift {

class OsFileSystem final : public FileSystem {
 public:
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
  const char* describe(int code) override;

  // Room for what the system hands back, so that nothing is allocated: the names and values of
  // extended attributes (each at most 64 KiB on Linux), a link's text, or an error text.
  static constexpr std::size_t kScratchSize = 2 * 65536;

 private:
  char scratch_[kScratchSize];
  // The process's umask, as found when a file was last created (which sets it aside meanwhile).
  unsigned umask_ = 022;
};

class OsEnvironment final : public Environment {
 public:
  unsigned long process_id() override;
  void hold_signals() override;
  void release_signals() override;
  void wait_milliseconds(int ms) override;
  bool errors_to_terminal() override;
};

// Standard output (1) or standard error (2) of this process. On Windows each line ends with CR LF,
// as a Windows program's formatted print writes it. A stream that takes nothing more does not
// change the outcome of a run.
class StandardStream final : public OutputSink {
 public:
  explicit StandardStream(int which);
  void write(const char* data, std::size_t size) override;

 private:
  std::intptr_t handle_;
};

// Process set-up before a run: no closed standard stream taken by a run's file, no signal or
// dialog box for a broken pipe or a missing disk.
void prepare_process();

}  // namespace datlift
