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
  void move(const std::string& from, const std::string& to) override;
  Contents contents() const override;
  int mode_of(const std::string& name) const override;
  bool has_links() const override;
  const std::filesystem::path& root() const { return root_; }

  FsStatus resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) override {
    return os_->resolve(name, dir, path, facts);
  }
  void close_directory(DirHandle dir) override { os_->close_directory(dir); }
  FsStatus look(DirHandle dir, const char* name, FileFacts& facts) override {
    return os_->look(dir, name, facts);
  }
  FsStatus check_writable(DirHandle dir, const char* name) override {
    return os_->check_writable(dir, name);
  }
  FsStatus open_read(DirHandle dir, const char* name, FileHandle& file, FileFacts& facts) override {
    return os_->open_read(dir, name, file, facts);
  }
  FsStatus read(FileHandle file, Bytes dst, std::size_t& got) override {
    return os_->read(file, dst, got);
  }
  FsStatus create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) override {
    return os_->create_new(dir, name, file, id);
  }
  FsStatus copy_metadata(DirHandle dir, const char* name, const FileId& old,
                         FileHandle to) override {
    return os_->copy_metadata(dir, name, old, to);
  }
  FsStatus set_new_file_access(DirHandle dir, FileHandle to) override {
    return os_->set_new_file_access(dir, to);
  }
  FsStatus write(FileHandle file, std::span<const ConstBytes> parts) override {
    return os_->write(file, parts);
  }
  FsStatus sync(FileHandle file) override { return os_->sync(file); }
  FsStatus close(FileHandle file) override { return os_->close(file); }
  FsStatus rename(DirHandle dir, const char* from, const char* to) override {
    return os_->rename(dir, from, to);
  }
  FsStatus rename_new(DirHandle dir, const char* from, const char* to) override {
    return os_->rename_new(dir, from, to);
  }
  FsStatus link(DirHandle dir, const char* existing, const char* name) override {
    return os_->link(dir, existing, name);
  }
  FsStatus remove(DirHandle dir, const char* name) override { return os_->remove(dir, name); }
  FsStatus sync_directory(DirHandle dir) override { return os_->sync_directory(dir); }
  bool keeps_name_order(DirHandle dir) override { return os_->keeps_name_order(dir); }
  FsStatus lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) override {
    return os_->lock(dir, name, lock, locked);
  }
  void unlock(FileHandle lock) override { os_->unlock(lock); }
  const char* describe(int code) override { return os_->describe(code); }

 private:
  std::unique_ptr<OsFileSystem> os_ = std::make_unique<OsFileSystem>();
  std::filesystem::path root_, previous_;
};

}  // namespace datlift::test
