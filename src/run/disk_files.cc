// SPDX-License-Identifier: MIT
#include "run/disk_files.h"

#include <cstring>

namespace datlift {
namespace {

constexpr char kSystemName[] = "SYSTEM.DAT";
constexpr char kMcfgName[] = "MCFG.DAT";

bool same_directory(const char* a, const char* b) {
  const std::size_t dir_a = static_cast<std::size_t>(base_name(a) - a);
  const std::size_t dir_b = static_cast<std::size_t>(base_name(b) - b);
  return dir_a == dir_b && std::memcmp(a, b, dir_a) == 0;
}

}  // namespace

DiskFiles::~DiskFiles() {
  close_input();
  release_lock();
}

void DiskFiles::report(const char* file, const char* step, FsStatus status) {
  report_text(file, status.step != nullptr ? status.step : step, fs_.describe(status.code));
}

void DiskFiles::report_text(const char* file, const char* step, const char* text) {
  errors_.print("datlift: %s: %s: %s\n", file, step, text);
}

void DiskFiles::note_old_mcfg(const char* where) {
  errors_.print("datlift: %s: holds the old %s: rename it to %s to restore it\n", where,
                mcfg_.target.c_str(), mcfg_.target.c_str());
}

void DiskFiles::release_lock() {
  if (lock_ != kNoFile) fs_.unlock(lock_);
  lock_ = kNoFile;
}

// The lock is taken on the file, and a run that replaces the file puts a new one under the name:
// after locking, the name must still stand for the locked file, else the lock is taken anew.
LockResult DiskFiles::lock_system() {
  constexpr int kAttempts = kLockWaitMilliseconds / kLockPollMilliseconds;
  for (int attempt = 0; attempt <= kAttempts; ++attempt) {
    FileId locked;
    const FsStatus st = fs_.lock(kSystemName, lock_, locked);
    if (st.ok()) {
      FileFacts now;
      const FsStatus again = fs_.resolve(kSystemName, system_.target, now);
      if (again.ok() && now.exists && now.regular && now.id == locked) return LockResult::locked;
      release_lock();
      if (!again.ok()) {
        report(kSystemName, "resolve", again);
        return LockResult::absent;
      }
      if (!now.exists || !now.regular) {
        report_text(kSystemName, "open", now.exists ? "not a regular file" : "not found");
        return LockResult::absent;
      }
      continue;
    }
    lock_ = kNoFile;
    switch (st.fault) {
      case Fault::busy:
        if (attempt < kAttempts) fs_.wait_milliseconds(kLockPollMilliseconds);
        continue;
      case Fault::absent:
        report(kSystemName, "open", st);
        return LockResult::absent;
      case Fault::unsupported:
        errors_.print("datlift: %s: lock: %s; going on without a lock\n", kSystemName,
                      fs_.describe(st.code));
        return LockResult::locked;
      default:
        report(kSystemName, "lock", st);
        return LockResult::failed;
    }
  }
  return LockResult::busy;
}

InputStream* DiskFiles::open_input() {
  FileFacts facts;
  const FsStatus st = fs_.open_read(kSystemName, input_.file, facts);
  if (!st.ok()) {
    report(kSystemName, "open", st);
    input_.file = kNoFile;
    return nullptr;
  }
  // A directory, a pipe or a device named SYSTEM.DAT is no system file.
  if (!facts.regular) {
    report_text(kSystemName, "open", "not a regular file");
    close_input();
    return nullptr;
  }
  return &input_;
}

void DiskFiles::close_input() {
  if (input_.file != kNoFile) fs_.close(input_.file);
  input_.file = kNoFile;
}

std::size_t DiskFiles::Input::read(Bytes dst) {
  std::size_t got = 0;
  const FsStatus st = files_.fs_.read(file, dst, got);
  // What cannot be read counts as the end of the file; the run then refuses it as too short.
  if (!st.ok()) files_.report(kSystemName, "read", st);
  return got;
}

// Finds what `name` stands for and checks, without changing anything, that it may be replaced.
bool DiskFiles::prepare(const char* name, Staged& s) {
  s.has_temp = false;
  const FsStatus st = fs_.resolve(name, s.target, s.old);
  if (!st.ok()) {
    report(name, "resolve", st);
    return false;
  }
  if (!s.old.exists) return true;
  if (!s.old.regular) {
    report_text(s.target.c_str(), "resolve", "not a regular file");
    return false;
  }
  if (const FsStatus w = fs_.check_writable(s.target.c_str()); !w.ok()) {
    report(s.target.c_str(), "open for writing", w);
    return false;
  }
  return true;
}

// A name beside the target for a new file, after the target and this process:
// "<dir>/.<name>.<pid>-<attempt>.tmp".
bool DiskFiles::temp_name(const Path& target, unsigned long attempt, Path& name) {
  return name.assign_directory_of(target.c_str()) && name.append(kSeparator) && name.append(".") &&
         name.append(base_name(target.c_str())) && name.append(".") &&
         name.append_number(fs_.process_id()) && name.append("-") && name.append_number(attempt) &&
         name.append(".tmp");
}

// Creates a new file under the first free temporary name; never opens a file that exists.
FsStatus DiskFiles::create_temp(const Path& target, Path& temp, FileHandle& file) {
  FsStatus st;
  for (unsigned long attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (!temp_name(target, attempt, temp)) {
      report_text(target.c_str(), "create", "path too long");
      return {Fault::other, 0, nullptr};
    }
    st = fs_.create_new(temp.c_str(), file);
    if (st.fault != Fault::exists) break;
  }
  if (!st.ok()) report(temp.c_str(), "create", st);
  return st;
}

bool DiskFiles::stage(Staged& s, std::span<const ConstBytes> content) {
  FileHandle file = kNoFile;
  if (!create_temp(s.target, s.temp, file).ok()) return false;
  s.has_temp = true;
  FsStatus st;
  const char* step = "keep metadata";
  if (s.old.exists) st = fs_.copy_metadata(s.target.c_str(), file);
  if (st.ok()) st = fs_.write(file, content), step = "write";
  if (st.ok()) st = fs_.sync(file), step = "sync";
  if (const FsStatus closed = fs_.close(file); st.ok() && !closed.ok()) st = closed, step = "close";
  if (st.ok()) return true;
  report(s.temp.c_str(), step, st);
  discard(s);
  return false;
}

void DiskFiles::discard(Staged& s) {
  if (!s.has_temp) return;
  s.has_temp = false;
  if (const FsStatus st = fs_.remove(s.temp.c_str()); !st.ok())
    report(s.temp.c_str(), "remove", st);
}

// MCFG.DAT goes into place first, so that the old one stays whole under another name until
// SYSTEM.DAT is in place too: swapped with the new file where the file system can swap two names,
// else kept under a second name (a hard link), else renamed aside.
DiskFiles::Placed DiskFiles::place_mcfg() {
  const char* target = mcfg_.target.c_str();
  if (!mcfg_.old.exists) {
    if (const FsStatus st = fs_.rename(mcfg_.temp.c_str(), target); !st.ok()) {
      report(mcfg_.temp.c_str(), "rename", st);
      return Placed::failed;
    }
    mcfg_.has_temp = false;
    return Placed::created;
  }
  const FsStatus st = fs_.exchange(mcfg_.temp.c_str(), target);
  if (st.ok()) {
    mcfg_.has_temp = false;  // the temporary name now holds the old content
    return Placed::exchanged;
  }
  if (st.fault != Fault::unsupported) {
    report(target, "exchange", st);
    return Placed::failed;
  }
  return set_mcfg_aside();
}

DiskFiles::Placed DiskFiles::set_mcfg_aside() {
  const char* target = mcfg_.target.c_str();
  FsStatus st;
  for (unsigned long attempt = 0; attempt < kTempNameAttempts; ++attempt) {
    if (!temp_name(mcfg_.target, attempt, backup_)) return Placed::failed;
    st = fs_.link(target, backup_.c_str());
    if (st.fault != Fault::exists) break;
  }
  const bool linked = st.ok();
  if (!linked && st.fault != Fault::unsupported) {
    report(backup_.c_str(), "link", st);
    return Placed::failed;
  }
  if (!linked) {
    // No second name possible: the old file is renamed aside, to a name reserved for it.
    FileHandle reserved = kNoFile;
    if (!create_temp(mcfg_.target, backup_, reserved).ok()) return Placed::failed;
    const char* step = "close";
    st = fs_.close(reserved);
    if (st.ok()) st = fs_.rename(target, backup_.c_str()), step = "rename";
    if (!st.ok()) {
      report(backup_.c_str(), step, st);
      if (const FsStatus removed = fs_.remove(backup_.c_str()); !removed.ok())
        report(backup_.c_str(), "remove", removed);
      return Placed::failed;
    }
  }
  st = fs_.rename(mcfg_.temp.c_str(), target);
  if (st.ok()) {
    mcfg_.has_temp = false;
    return Placed::set_aside;
  }
  report(mcfg_.temp.c_str(), "rename", st);
  if (linked) {
    // MCFG.DAT is untouched; its second name goes.
    if (const FsStatus removed = fs_.remove(backup_.c_str()); !removed.ok())
      report(backup_.c_str(), "remove", removed);
  } else {
    put_back(Placed::set_aside);
  }
  return Placed::failed;
}

// Puts the old MCFG.DAT back in place after SYSTEM.DAT could not be; a step that fails says where
// the old content now is.
void DiskFiles::put_back(Placed placed) {
  const char* target = mcfg_.target.c_str();
  switch (placed) {
    case Placed::failed:
      return;
    case Placed::created:
      if (const FsStatus st = fs_.remove(target); !st.ok()) report(target, "remove", st);
      return;
    case Placed::exchanged: {
      const char* old = mcfg_.temp.c_str();
      FsStatus st = fs_.exchange(old, target);
      if (st.ok()) {
        mcfg_.has_temp = true;  // now the new content, to be removed
        discard(mcfg_);
        return;
      }
      report(target, "put back", st);
      // The other way back: the old file renamed over the new one.
      st = fs_.rename(old, target);
      if (st.ok()) return;
      report(target, "put back", st);
      note_old_mcfg(old);
      return;
    }
    case Placed::set_aside:
      if (const FsStatus st = fs_.rename(backup_.c_str(), target); !st.ok()) {
        report(target, "put back", st);
        note_old_mcfg(backup_.c_str());
      }
      return;
  }
}

// Both files are in place: the old MCFG.DAT is no longer needed.
void DiskFiles::drop_old_mcfg(Placed placed) {
  const char* old = placed == Placed::exchanged   ? mcfg_.temp.c_str()
                    : placed == Placed::set_aside ? backup_.c_str()
                                                  : nullptr;
  if (old == nullptr) return;
  if (const FsStatus st = fs_.remove(old); !st.ok()) {
    report(old, "remove", st);
    note_old_mcfg(old);
  }
}

void DiskFiles::sync_directories(bool with_mcfg) {
  // The files are in place: a directory that cannot be synced changes nothing about that.
  if (const FsStatus st = fs_.sync_directory(system_.target.c_str()); !st.ok())
    report(system_.target.c_str(), "sync directory", st);
  if (with_mcfg && !same_directory(mcfg_.target.c_str(), system_.target.c_str())) {
    if (const FsStatus st = fs_.sync_directory(mcfg_.target.c_str()); !st.ok())
      report(mcfg_.target.c_str(), "sync directory", st);
  }
}

ReplaceResult DiskFiles::replace(std::span<const ConstBytes> system, ConstBytes mcfg) {
  mcfg_.has_temp = false;
  const bool with_mcfg = !mcfg.empty();
  // SYSTEM.DAT is written first, so every step of it comes before any of MCFG.DAT: the first
  // failure in that order decides the exit code.
  if (!prepare(kSystemName, system_) || !stage(system_, system))
    return ReplaceResult::system_failed;
  Placed placed = Placed::created;
  if (with_mcfg) {
    if (!prepare(kMcfgName, mcfg_)) {
      discard(system_);
      return ReplaceResult::mcfg_failed;
    }
    // One file under both names would end up holding one of the two contents only.
    if (mcfg_.old.exists && system_.old.exists && mcfg_.old.id == system_.old.id) {
      report_text(kMcfgName, "resolve", "the same file as SYSTEM.DAT");
      discard(system_);
      return ReplaceResult::mcfg_failed;
    }
    const ConstBytes parts[] = {mcfg};
    if (!stage(mcfg_, parts)) {
      discard(system_);
      return ReplaceResult::mcfg_failed;
    }
    placed = place_mcfg();
    if (placed == Placed::failed) {
      discard(mcfg_);
      discard(system_);
      return ReplaceResult::mcfg_failed;
    }
  }
  if (const FsStatus st = fs_.rename(system_.temp.c_str(), system_.target.c_str()); !st.ok()) {
    report(system_.temp.c_str(), "rename", st);
    if (with_mcfg) put_back(placed);
    discard(system_);
    return ReplaceResult::system_failed;
  }
  system_.has_temp = false;
  if (with_mcfg) drop_old_mcfg(placed);
  sync_directories(with_mcfg);
  return ReplaceResult::ok;
}

ReplaceResult DiskFiles::replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) {
  fs_.hold_signals();
  const ReplaceResult result = replace(system, mcfg);
  release_lock();
  // A termination signal that came meanwhile ends the process here, with the files whole.
  fs_.release_signals();
  return result;
}

}  // namespace datlift
