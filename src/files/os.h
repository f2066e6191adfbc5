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
  FsStatus resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) override;
  void close_directory(DirHandle dir) override;
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
  bool keeps_name_order(DirHandle dir) override;
  FsStatus lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) override;
  void unlock(FileHandle lock) override;
  const char* describe(int code) override;

  // Room for what the system hands back, so that nothing is allocated: the names and values of
  // extended attributes (each at most 64 KiB on Linux), a link's text and the rest of a name
  // being followed, or an error text.
  static constexpr std::size_t kScratchSize = 2 * 65536;

 private:
  char scratch_[kScratchSize];
  // The process's umask, as found when a file was last created (which sets it aside meanwhile).
  unsigned umask_ = 022;
#ifdef _WIN32
  // The directories that names led to: Windows names a file by its whole path.
  static constexpr int kDirectories = 4;
  Path directories_[kDirectories];
  bool directory_used_[kDirectories] = {};
  // The whole path of `name` in `dir`, for the wide calls (kMaxPath characters).
  bool widen_at(DirHandle dir, const char* name, wchar_t* wide);
  FsStatus hold_directory(const Path& path, DirHandle& dir);
#endif
};

// The signals a process holds, as the kernel keeps them: one bit per signal, 64 signals.
constexpr int kKernelSignals = 64;
struct KernelSignalSet {
  unsigned long bits[kKernelSignals / (8 * sizeof(unsigned long))];
};

class OsEnvironment final : public Environment {
 public:
  unsigned long process_id() override;
  void hold_signals() override;
  void release_signals() override;
  void wait_milliseconds(int ms) override;
  bool errors_to_terminal() override;

 private:
  // The signals the process held before hold_signals(), given back by release_signals().
  KernelSignalSet saved_signals_ = {};
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
