// SPDX-License-Identifier: MIT
// The two pieces of the replace protocol, each the one owner of the names it makes on disk, its
// state saying what lies under them at every moment. Whatever kills the run, each left-over name
// says what it holds (the README's recovery rule reads them so).
//
// StagedFile: the new content of one name (SYSTEM.DAT, MCFG.DAT).
//
//     empty ──stage──▶ staged ──place──▶ placed
//       ▲                │
//       └───discard──────┘
//
//   empty   nothing of it on disk (a temporary file that could not be completed is removed)
//   staged  the whole new content, with the old file's metadata, synced and closed, under
//           ".<name>.<pid>-<n>.tmp" beside the file that the name stands for (a link's target),
//           a name the run made itself
//   placed  the file that the name stands for holds the new content; the temporary name is gone
//
// KeptOriginal: what the name stood for before, while its new content is placed.
//
//     untouched ──keep──▶ kept ──release──▶ released
//         ▲                │
//         └───restore──────┘
//
//   kept      the old file, whole, under ".<name>.<pid>-<n>.old" (a second name for it, or the
//             file renamed aside where there are no hard links); where the name stood for
//             nothing, an empty ".<name>.<pid>-<n>.none" says so
//   untouched the name stands for what it stood for before, and nothing else is left
//   released  the keeping name is gone: the new content is final
//
// A failed call is reported on standard error where it happens. Every rename, removal and undoing
// first finds out by identity which file stands under each name it touches, links taken as
// themselves: a call can take effect and still report failure (a retransmission on NFS), and
// another user who may write the directory can change a name meanwhile. A name that holds
// another file than the run left there is left as it is, and the step refused.
#pragma once

#include <span>

#include "common/bytes.h"
#include "files/file_report.h"
#include "files/file_system.h"
#include "files/path.h"
#include "files/place.h"

namespace datlift {

class StagedFile {
 public:
  enum class State { empty, staged, placed };

  // `pid` goes into the temporary name: no other process makes the same. `place` is where the
  // name led, and `expected` the file the run read there (the name stood for nothing where it
  // does not exist).
  StagedFile(FileSystem& fs, FileReport& report, unsigned long pid, const char* name,
             const Place& place, const FileFacts& expected)
      : fs_(fs), report_(report), pid_(pid), name_(name), place_(place), old_(expected) {}
  StagedFile(const StagedFile&) = delete;
  StagedFile& operator=(const StagedFile&) = delete;

  // Checks, changing nothing, that the name still stands for the file expected, and that it may
  // be replaced: a regular file this process may write, or nothing.
  [[nodiscard]] bool prepare();
  // empty → staged.
  [[nodiscard]] bool stage(std::span<const ConstBytes> content);
  // staged → placed; false when it stays staged (also where either name no longer holds what the
  // run left there).
  [[nodiscard]] bool place();
  // staged → empty; nothing to do in the other states.
  void discard();

  const char* name() const { return name_; }
  const Place& where() const { return place_; }
  const Path& target() const { return place_.path(); }
  const FileFacts& old() const { return old_; }
  // The new content's file.
  const FileId& made() const { return made_; }

 private:
  [[nodiscard]] bool complete(FileHandle file, std::span<const ConstBytes> content);

  FileSystem& fs_;
  FileReport& report_;
  unsigned long pid_;
  const char* name_;
  const Place& place_;
  FileFacts old_;
  State state_ = State::empty;
  Path temp_;
  FileId made_;
};

class KeptOriginal {
 public:
  enum class State { untouched, kept, released };

  KeptOriginal(FileSystem& fs, FileReport& report, unsigned long pid)
      : fs_(fs), report_(report), pid_(pid) {}
  KeptOriginal(const KeptOriginal&) = delete;
  KeptOriginal& operator=(const KeptOriginal&) = delete;

  // untouched → kept: what `file` stands for now, under a name that this run made itself.
  [[nodiscard]] bool keep(const StagedFile& file);
  // kept → untouched: the old file under its name again (or none, where there was none, with
  // the file put there meanwhile removed). A step that fails says where the old content is.
  void restore();
  // kept → released.
  void release();

 private:
  enum class How { linked, set_aside, marked };
  [[nodiscard]] bool link();
  [[nodiscard]] bool set_aside();
  [[nodiscard]] bool mark_none();
  void restore_nothing();
  void remove_keeping_name();

  FileSystem& fs_;
  FileReport& report_;
  unsigned long pid_;
  State state_ = State::untouched;
  const StagedFile* file_ = nullptr;
  How how_ = How::linked;
  Path kept_;       // the keeping name
  FileId kept_id_;  // what it holds: the old file, or the empty mark
};

}  // namespace datlift
