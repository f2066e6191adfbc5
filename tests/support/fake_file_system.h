// SPDX-License-Identifier: MIT
// A file system in memory: files as numbered objects under names, so that links, hard links and
// renames behave as on disk. Like the system, a write clears the set-user-ID and set-group-ID
// bits, and a new file gets its access from the umask.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/test_file_system.h"

namespace datlift::test {

class FakeFileSystem final : public TestFileSystem {
 public:
  int umask = 022;
  // Writes to a file that others than its owner may open.
  int writes_open_to_others = 0;

  // What a power cut keeps: a file's data once it was synced, a name (made, renamed, linked or
  // removed) once its directory was synced; of the rest, in the order they were made (a journal
  // that commits them in order: ext4, XFS) any first ones, or any of them at all (the weakest
  // file systems), with any first part of a file's data.
  enum class Durability { ordered, reordered };
  Durability durability = Durability::ordered;
  // Every state of the files that a power cut now may leave (a fixed sample of `at_most` where
  // there are more).
  std::vector<Contents> power_cut_states(std::size_t at_most = 4096) const;

  void put_file(const std::string& name, const std::string& content, int mode = 0644) override;
  void put_link(const std::string& name, const std::string& to) override;
  void put_directory(const std::string& name) override;
  void move(const std::string& from, const std::string& to) override;
  Contents contents() const override;
  int mode_of(const std::string& name) const override;
  bool has_links() const override { return true; }

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
  bool keeps_name_order(DirHandle) override { return durability == Durability::ordered; }
  FsStatus lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) override;
  void unlock(FileHandle lock) override;
  const char* describe(int code) override;

  // Directories opened and not yet closed.
  int open_directories() const;

 private:
  struct Object {
    std::string content;
    int mode = 0644;
    bool directory = false;
    std::string link_to;  // a symbolic link's text, where it is one
  };
  struct Open {
    std::uint64_t object;
    std::size_t position;
  };
  // A change of names not yet durable: each name with the object it then stands for (0: none).
  struct NameChange {
    std::string directory;
    std::vector<std::pair<std::string, std::uint64_t>> names;
  };

  // The name of `name` in the directory `dir` was opened as.
  std::string in(DirHandle dir, const char* name) const;
  // The object under a name, itself (0 where nothing is there).
  std::uint64_t at(const std::string& name) const;
  FileFacts facts_of(std::uint64_t id) const;
  void changed(DirHandle dir, std::vector<std::pair<std::string, std::uint64_t>> names);
  // The files as a power cut leaves them: the durable names with the changes that survive, and
  // each file's durable data, or of the data written since (`part` 0, 1, 2) none, half or all.
  Contents survivors(const std::vector<bool>& kept, int part) const;
  bool is_link(std::uint64_t id) const { return id != 0 && !objects_.at(id).link_to.empty(); }

  std::map<std::uint64_t, Object> objects_;
  std::map<std::string, std::uint64_t> names_;
  std::map<std::string, std::uint64_t> durable_names_;
  std::map<std::uint64_t, std::string> durable_data_;
  std::vector<NameChange> pending_;
  std::map<FileHandle, Open> open_;
  std::vector<std::string> directories_;  // by handle: the prefix of its names ("" or "dir/")
  std::vector<bool> directory_open_;
  std::uint64_t next_object_ = 1;
  FileHandle next_handle_ = 3;
};

// The numbers of the errors that test file systems report, and their texts.
constexpr int kNoEntry = 2;        // ENOENT
constexpr int kFaultCode = 5;      // EIO
constexpr int kDenied = 13;        // EACCES
constexpr int kExists = 17;        // EEXIST
constexpr int kNotDirectory = 20;  // ENOTDIR
constexpr int kLoop = 40;          // ELOOP
constexpr int kUnsupported = 95;   // EOPNOTSUPP
constexpr int kWouldBlock = 11;    // EWOULDBLOCK
const char* describe_test_error(int code);

}  // namespace datlift::test
