// SPDX-License-Identifier: MIT
// Where a name of the run ends, found once: the directory that holds the file it stands for (a
// link's target), opened and held, the file's own name in it, and its path for messages. Every
// later call names the file in that directory, so a name that another process changes meanwhile
// is found out by identity, never followed.
#pragma once

#include "files/file_system.h"
#include "files/path.h"

namespace datlift {

class Place {
 public:
  explicit Place(FileSystem& fs) : fs_(fs) {}
  ~Place() { close(); }
  Place(const Place&) = delete;
  Place& operator=(const Place&) = delete;

  // Follows `name` to the file it stands for; a place found before is given up first.
  FsStatus resolve(const char* name) {
    close();
    return fs_.resolve(name, dir_, path_, facts_);
  }
  void close() {
    if (dir_ != kNoDirectory) fs_.close_directory(dir_);
    dir_ = kNoDirectory;
  }
  bool found() const { return dir_ != kNoDirectory; }

  DirHandle dir() const { return dir_; }
  // For messages: the name, or where its links led.
  const Path& path() const { return path_; }
  // The file's own name in dir().
  const char* name() const { return base_name(path_.c_str()); }
  // What stood there when the name was followed.
  const FileFacts& facts() const { return facts_; }

 private:
  FileSystem& fs_;
  DirHandle dir_ = kNoDirectory;
  Path path_{};
  FileFacts facts_;
};

}  // namespace datlift
