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
  changed,      // another file than the one the run looked at stands under the name now
  denied,       // this user may not
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

// A directory that a name led to, opened once. Every later call names a file in it by the file's
// own name (one component, never through a link), so that a name that another process changes
// meanwhile is found out, not followed.
using DirHandle = std::intptr_t;
constexpr DirHandle kNoDirectory = -1;

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
  bool regular = false;  // a link is none
  FileId id;
  std::uint64_t size = 0;
};

class FileSystem {
 public:
  // Follows `name` (from the current directory) one link at a time, each only where the system
  // itself would follow it (in a sticky directory that others may write, a link of this user or
  // of the directory's owner only), and opens the directory that holds the entry it ends at.
  // `path` is that entry's path for people: the name's own, or built from each link's text, with
  // ".." taken away as the system takes it; its last part is the entry's name in `dir`. `facts`
  // is what stands there (nothing, where the name itself is missing); Fault::absent for a
  // dangling link. The caller closes `dir`.
  virtual FsStatus resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) = 0;
  virtual void close_directory(DirHandle dir) = 0;
  // What stands under `name` in `dir`, a link taken as itself.
  virtual FsStatus look(DirHandle dir, const char* name, FileFacts& facts) = 0;
  // Whether this process may write to the file and put another in its place, and no other
  // program keeps it from being replaced; changes nothing.
  virtual FsStatus check_writable(DirHandle dir, const char* name) = 0;

  // Opens a file for reading; never through a link.
  virtual FsStatus open_read(DirHandle dir, const char* name, FileHandle& file,
                             FileFacts& facts) = 0;
  // Reads until dst is full or the file ends; `got` is what was placed.
  virtual FsStatus read(FileHandle file, Bytes dst, std::size_t& got) = 0;

  // Creates a new, empty file for writing that only this user may open, whatever the umask and
  // the directory's default access rules; Fault::exists when the name is taken (also by a link).
  // `id` is the new file's.
  virtual FsStatus create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) = 0;
  // Gives the new file what the old one (`name`, which must still be the file `old`, else
  // Fault::changed) has and this user may set: owner and group, extended attributes with access
  // control lists (exactly the old one's: none where it has none), and the permission bits last,
  // the set-user-ID (set-group-ID) bit only where the owner (group) was kept. Called when the
  // content is complete, since a write clears the set-ID bits and capabilities.
  virtual FsStatus copy_metadata(DirHandle dir, const char* name, const FileId& old,
                                 FileHandle to) = 0;
  // Gives the new file the access that any program's new file in `dir` gets (where nothing stood
  // before): 0666 less the umask, or what the directory's default ACL grants.
  virtual FsStatus set_new_file_access(DirHandle dir, FileHandle to) = 0;
  // Writes the parts (at most kMaxWriteParts) one after the other, all of them.
  virtual FsStatus write(FileHandle file, std::span<const ConstBytes> parts) = 0;
  virtual FsStatus sync(FileHandle file) = 0;
  virtual FsStatus close(FileHandle file) = 0;

  // Each names two entries of one directory, links taken as themselves.
  // Puts `from` in the place of `to`, replacing what is there, in one step.
  virtual FsStatus rename(DirHandle dir, const char* from, const char* to) = 0;
  // Gives `from` the name `to` where that name is free; Fault::exists when it is taken.
  virtual FsStatus rename_new(DirHandle dir, const char* from, const char* to) = 0;
  // A second name for a file; Fault::exists when taken, Fault::unsupported where impossible.
  virtual FsStatus link(DirHandle dir, const char* existing, const char* name) = 0;
  // Fault::denied where this user may not (in a sticky directory, another user's file).
  virtual FsStatus remove(DirHandle dir, const char* name) = 0;
  // Makes the names in the directory durable.
  virtual FsStatus sync_directory(DirHandle dir) = 0;
  // Whether the file system makes the changes of names durable in the order they were made (a
  // journal that commits them in order), so that any first ones of them survive a power cut and
  // never a later one alone. Where it does not, a power cut may keep any of them.
  virtual bool keeps_name_order(DirHandle dir) = 0;

  // Opens the file and takes an exclusive lock on it without waiting: Fault::busy when another
  // process holds it, Fault::absent when the file cannot be opened, Fault::unsupported where the
  // file system has no locks. The system releases the lock when the process ends.
  virtual FsStatus lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) = 0;
  virtual void unlock(FileHandle lock) = 0;

  // The system's text for an error number.
  virtual const char* describe(int code) = 0;

 protected:
  ~FileSystem() = default;
};

}  // namespace datlift
