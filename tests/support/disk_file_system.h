// SPDX-License-Identifier: MIT
// A scratch directory on the disk, the current directory while the object lives, behind the
// operating system's own primitives: whole runs in-process on the real file system.
#pragma once

#include <filesystem>
#include <memory>

#include "files/os.h"
#include "support/test_file_system.h"

namespace datlift::test {

class DiskFileSystem final : public TestFileSystem {
 public:
  DiskFileSystem();
  ~DiskFileSystem() override;
  DiskFileSystem(const DiskFileSystem&) = delete;
  DiskFileSystem& operator=(const DiskFileSystem&) = delete;

  void put_file(const std::string& name, const std::string& content, int mode = 0644) override;
  void put_link(const std::string& name, const std::string& to) override;
  void put_directory(const std::string& name) override;
  Contents contents() const override;
  int mode_of(const std::string& name) const override;
  bool has_links() const override;
  const std::filesystem::path& root() const { return root_; }

  FsStatus resolve(const char* name, Path& target, FileFacts& facts) override {
    return os_->resolve(name, target, facts);
  }
  FsStatus check_writable(const char* path) override { return os_->check_writable(path); }
  FsStatus open_read(const char* path, FileHandle& file, FileFacts& facts) override {
    return os_->open_read(path, file, facts);
  }
  FsStatus read(FileHandle file, Bytes dst, std::size_t& got) override {
    return os_->read(file, dst, got);
  }
  FsStatus create_new(const char* path, FileHandle& file, FileId& id) override {
    return os_->create_new(path, file, id);
  }
  FsStatus copy_metadata(const char* from, FileHandle to) override {
    return os_->copy_metadata(from, to);
  }
  FsStatus set_new_file_access(const char* path, FileHandle to) override {
    return os_->set_new_file_access(path, to);
  }
  FsStatus write(FileHandle file, std::span<const ConstBytes> parts) override {
    return os_->write(file, parts);
  }
  FsStatus sync(FileHandle file) override { return os_->sync(file); }
  FsStatus close(FileHandle file) override { return os_->close(file); }
  FsStatus rename(const char* from, const char* to) override { return os_->rename(from, to); }
  FsStatus rename_new(const char* from, const char* to) override {
    return os_->rename_new(from, to);
  }
  FsStatus link(const char* existing, const char* name) override {
    return os_->link(existing, name);
  }
  FsStatus remove(const char* path) override { return os_->remove(path); }
  FsStatus sync_directory(const char* path) override { return os_->sync_directory(path); }
  FsStatus lock(const char* name, FileHandle& lock, FileId& locked) override {
    return os_->lock(name, lock, locked);
  }
  void unlock(FileHandle lock) override { os_->unlock(lock); }
  const char* describe(int code) override { return os_->describe(code); }

 private:
  std::unique_ptr<OsFileSystem> os_ = std::make_unique<OsFileSystem>();
  std::filesystem::path root_, previous_;
};

}  // namespace datlift::test
