// SPDX-License-Identifier: MIT
// The primitives of the file system that a run needs, one implementation per operating system
// (os_posix.cc, os_win32.cc) and an in-memory one for tests. Nothing here names a type of the
// operating system: files are opaque handles, errors the system's own numbers, classified.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "common/bytes.h"
#include "files/path.h"

namespace datlift {

// What a failed call means for the run, beyond its system error number.
enum class Fault {
  none,
  exists,       // the name is taken
  absent,       // nothing is there, or it cannot be opened
  busy,         // another process holds the lock
  unsupported,  // the file system cannot do this at all
  other,
};

struct [[nodiscard]] FsStatus {
  Fault fault = Fault::none;
  int code = 0;                // the system's error number
  const char* step = nullptr;  // which part of a compound primitive failed, where not the whole
  bool ok() const { return fault == Fault::none; }
};

using FileHandle = std::intptr_t;
constexpr FileHandle kNoFile = -1;

// Which file a name stands for: equal ids, one file (also through links and hard links).
struct FileId {
  std::uint64_t volume = 0;
  std::uint64_t object = 0;
  bool operator==(const FileId&) const = default;
};

// The most parts that one write takes.
constexpr std::size_t kMaxWriteParts = 8;

struct FileFacts {
  bool exists = false;
  bool regular = false;
  FileId id;
  std::uint64_t size = 0;
};

class FileSystem {
 public:
  // Follows `name` through links to the file it ends at; `target` is that file's path, built from
  // the name's directory and each link's own text (the name itself when it is no link or nothing
  // is there). Fault::absent for a dangling link.
  virtual FsStatus resolve(const char* name, Path& target, FileFacts& facts) = 0;
  // Whether this process may write to the file, and no other program keeps it from being
  // replaced; changes nothing.
  virtual FsStatus check_writable(const char* path) = 0;

  virtual FsStatus open_read(const char* path, FileHandle& file, FileFacts& facts) = 0;
  // Reads until dst is full or the file ends; `got` is what was placed.
  virtual FsStatus read(FileHandle file, Bytes dst, std::size_t& got) = 0;

  // Creates a new, empty file for writing that only this user may open, whatever the umask and
  // the directory's default access rules; Fault::exists when the name is taken. `id` is the
  // new file's.
  virtual FsStatus create_new(const char* path, FileHandle& file, FileId& id) = 0;
  // Gives the new file what the old one has and this user may set: owner and group, extended
  // attributes with access control lists (exactly the old one's: none where it has none), and
  // the permission bits last. Called when the content is complete, since a write clears the
  // set-user-ID and set-group-ID bits and capabilities.
  virtual FsStatus copy_metadata(const char* from, FileHandle to) = 0;
  // Gives the new file the access that any program's new file at `path` gets (where nothing
  // stood before): 0666 less the umask, or what the directory's default ACL grants.
  virtual FsStatus set_new_file_access(const char* path, FileHandle to) = 0;
  // Writes the parts (at most kMaxWriteParts) one after the other, all of them.
  virtual FsStatus write(FileHandle file, std::span<const ConstBytes> parts) = 0;
  virtual FsStatus sync(FileHandle file) = 0;
  virtual FsStatus close(FileHandle file) = 0;

  // Puts `from` in the place of `to`, replacing what is there, in one step.
  virtual FsStatus rename(const char* from, const char* to) = 0;
  // Gives `from` the name `to` where that name is free; Fault::exists when it is taken.
  virtual FsStatus rename_new(const char* from, const char* to) = 0;
  // A second name for a file; Fault::exists when taken, Fault::unsupported where impossible.
  virtual FsStatus link(const char* existing, const char* name) = 0;
  virtual FsStatus remove(const char* path) = 0;
  // Makes the names of the directory that holds `path` durable.
  virtual FsStatus sync_directory(const char* path) = 0;

  // Opens the file `name` stands for and takes an exclusive lock on it without waiting:
  // Fault::busy when another process holds it, Fault::absent when the file cannot be opened,
  // Fault::unsupported where the file system has no locks. The system releases the lock when the
  // process ends.
  virtual FsStatus lock(const char* name, FileHandle& lock, FileId& locked) = 0;
  virtual void unlock(FileHandle lock) = 0;

  // The system's text for an error number.
  virtual const char* describe(int code) = 0;

 protected:
  ~FileSystem() = default;
};

}  // namespace datlift
