// SPDX-License-Identifier: MIT
// A file system that whole runs in tests work on, set up and read back by name: in memory
// (fake_file_system.h) or a scratch directory on the disk (disk_file_system.h). Names are relative
// to its root, with "/" between their parts; a symbolic link's content reads "-> target".
#pragma once

#include <map>
#include <string>

#include "files/file_system.h"

namespace datlift::test {

using Contents = std::map<std::string, std::string>;

class TestFileSystem : public FileSystem {
 public:
  virtual ~TestFileSystem() = default;
  virtual void put_file(const std::string& name, const std::string& content, int mode = 0644) = 0;
  virtual void put_link(const std::string& name, const std::string& to) = 0;
  virtual void put_directory(const std::string& name) = 0;
  // Gives an entry (a link as itself) another name, as another user who may write the
  // directory can.
  virtual void move(const std::string& from, const std::string& to) = 0;
  // Every name with its content ("<dir>" for a directory).
  virtual Contents contents() const = 0;
  // The permission bits of the file a name stands for; -1 where there is none or none are kept.
  virtual int mode_of(const std::string& name) const = 0;
  // Whether the file system can hold symbolic links that tests make.
  virtual bool has_links() const = 0;
};

}  // namespace datlift::test
