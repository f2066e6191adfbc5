// SPDX-License-Identifier: MIT
// A file system in memory: files as numbered objects under names, so that links, hard links and
// renames behave as on disk. Like the system, a write clears the set-user-ID and set-group-ID
// bits, and a new file gets its access from the umask.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "support/test_file_system.h"

namespace datlift::test {

class FakeFileSystem final : public TestFileSystem {
 public:
  int umask = 022;
  // Writes to a file that others than its owner may open.
  int writes_open_to_others = 0;

  void put_file(const std::string& name, const std::string& content, int mode = 0644) override;
  void put_link(const std::string& name, const std::string& to) override;
  void put_directory(const std::string& name) override;
  Contents contents() const override;
  int mode_of(const std::string& name) const override;
  bool has_links() const override { return true; }

  FsStatus resolve(const char* name, Path& target, FileFacts& facts) override;
  FsStatus check_writable(const char* path) override;
  FsStatus open_read(const char* path, FileHandle& file, FileFacts& facts) override;
  FsStatus read(FileHandle file, Bytes dst, std::size_t& got) override;
  FsStatus create_new(const char* path, FileHandle& file, FileId& id) override;
  FsStatus copy_metadata(const char* from, FileHandle to) override;
  FsStatus set_new_file_access(const char* path, FileHandle to) override;
  FsStatus write(FileHandle file, std::span<const ConstBytes> parts) override;
  FsStatus sync(FileHandle) override { return {}; }
  FsStatus close(FileHandle file) override;
  FsStatus rename(const char* from, const char* to) override;
  FsStatus rename_new(const char* from, const char* to) override;
  FsStatus link(const char* existing, const char* name) override;
  FsStatus remove(const char* path) override;
  FsStatus sync_directory(const char*) override { return {}; }
  FsStatus lock(const char* name, FileHandle& lock, FileId& locked) override;
  void unlock(FileHandle lock) override;
  const char* describe(int code) override;

 private:
  struct Object {
    std::string content;
    int mode = 0644;
    bool directory = false;
  };
  struct Entry {
    std::uint64_t object = 0;  // 0: a symbolic link
    std::string link_to;
  };
  struct Open {
    std::uint64_t object;
    std::size_t position;
  };

  // The object a name ends at through links; 0 when nothing is there.
  std::uint64_t follow(const std::string& name, std::string* target = nullptr) const;
  FileFacts facts_of(std::uint64_t id) const;

  std::map<std::uint64_t, Object> objects_;
  std::map<std::string, Entry> names_;
  std::map<FileHandle, Open> open_;
  std::uint64_t next_object_ = 1;
  FileHandle next_handle_ = 3;
};

// The numbers of the errors that test file systems report, and their texts.
constexpr int kNoEntry = 2;       // ENOENT
constexpr int kFaultCode = 5;     // EIO
constexpr int kDenied = 13;       // EACCES
constexpr int kExists = 17;       // EEXIST
constexpr int kUnsupported = 95;  // EOPNOTSUPP
constexpr int kWouldBlock = 11;   // EWOULDBLOCK
const char* describe_test_error(int code);

}  // namespace datlift::test
