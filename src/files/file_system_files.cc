// SPDX-License-Identifier: MIT
#include "files/file_system_files.h"

#include <cstring>
#include <optional>

#include "files/staged_file.h"

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

FileSystemFiles::~FileSystemFiles() {
  close_input();
  release_lock();
}

void FileSystemFiles::release_lock() {
  if (lock_ != kNoFile) fs_.unlock(lock_);
  lock_ = kNoFile;
}

FileSystemFiles::Opened FileSystemFiles::open_system() {
  const FsStatus st = fs_.open_read(system_.dir(), system_.name(), input_.file, read_);
  if (!st.ok()) {
    report_.failed(system_.path().c_str(), "open", st);
    input_.file = kNoFile;
    return st.fault == Fault::changed ? Opened::changed : Opened::no;
  }
  // A directory, a pipe or a device named SYSTEM.DAT is no system file.
  if (!read_.regular) {
    report_.text(system_.path().c_str(), "open", "not a regular file");
    close_input();
    return Opened::no;
  }
  return Opened::yes;
}

// How a run without the lock goes on: with the input, or not at all (16 where the name changed
// behind its back, as for a file that cannot be replaced).
LockResult FileSystemFiles::lock_result(Opened opened) {
  switch (opened) {
    case Opened::yes:
      return LockResult::locked;
    case Opened::changed:
      return LockResult::failed;
    case Opened::no:
      break;
  }
  return LockResult::absent;
}

// The lock is taken on the file, and a run that replaces the file puts a new one under the name:
// the file opened for reading after locking must be the locked one, else the lock is taken anew.
LockResult FileSystemFiles::lock_system() {
  constexpr int kAttempts = kLockWaitMilliseconds / kLockPollMilliseconds;
  for (int attempt = 0; attempt <= kAttempts; ++attempt) {
    const std::optional<LockResult> result = try_lock();
    if (result && *result != LockResult::busy) return *result;
    if (result && attempt < kAttempts) env_.wait_milliseconds(kLockPollMilliseconds);
  }
  return LockResult::busy;
}

// One attempt: SYSTEM.DAT followed, its file locked and opened. Busy where another run holds the
// lock; nothing where another run put a new file under the name meanwhile (locked anew at once).
std::optional<LockResult> FileSystemFiles::try_lock() {
  if (const FsStatus st = system_.resolve(kSystemName); !st.ok()) {
    report_.failed(kSystemName, "resolve", st);
    // A name that exists but cannot be followed is no missing file.
    return st.fault == Fault::absent ? LockResult::absent : LockResult::failed;
  }
  if (!system_.facts().exists || !system_.facts().regular) {
    report_.text(system_.path().c_str(), "open",
                 system_.facts().exists ? "not a regular file" : "not found");
    return LockResult::absent;
  }
  FileId locked;
  const FsStatus st = fs_.lock(system_.dir(), system_.name(), lock_, locked);
  if (st.ok()) {
    const Opened opened = open_system();
    if (opened == Opened::yes && read_.id == locked) return LockResult::locked;
    close_input();
    release_lock();
    if (opened != Opened::yes) return lock_result(opened);
    return std::nullopt;
  }
  lock_ = kNoFile;
  switch (st.fault) {
    case Fault::busy:
      return LockResult::busy;
    case Fault::absent:
      report_.failed(system_.path().c_str(), "open", st);
      return LockResult::absent;
    case Fault::unsupported:
      report_.going_on(system_.path().c_str(), "lock", st, "going on without a lock");
      return lock_result(open_system());
    default:
      report_.failed(system_.path().c_str(), "lock", st);
      return LockResult::failed;
  }
}

// Opened with the lock; where the run takes none, SYSTEM.DAT is followed and opened here.
InputStream* FileSystemFiles::open_input() {
  if (input_.file != kNoFile) return &input_;
  if (const FsStatus st = system_.resolve(kSystemName); !st.ok()) {
    report_.failed(kSystemName, "resolve", st);
    return nullptr;
  }
  if (!system_.facts().exists) {
    report_.text(kSystemName, "open", "not found");
    return nullptr;
  }
  return open_system() == Opened::yes ? &input_ : nullptr;
}

// The input has been read whole, or the run refuses it: a failure to close it changes nothing.
void FileSystemFiles::close_input() {
  if (input_.file != kNoFile) (void)fs_.close(input_.file);
  input_.file = kNoFile;
}

std::size_t FileSystemFiles::Input::read(Bytes dst) {
  std::size_t got = 0;
  const FsStatus st = files_.fs_.read(file, dst, got);
  // What cannot be read counts as the end of the file; the run then refuses it as too short.
  if (!st.ok()) files_.report_.failed(files_.system_.path().c_str(), "read", st);
  return got;
}

// The changes of names in the place's directory made durable. Where the file system may make
// them durable in another order than they were made, each step that the recovery rule reads must
// be durable before the next one is made: a power cut may otherwise keep the new MCFG.DAT without
// the name that keeps the old one, the new SYSTEM.DAT without the new MCFG.DAT, or the removal of
// the old MCFG.DAT without the new SYSTEM.DAT.
bool FileSystemFiles::durable(const Place& place) {
  if (const FsStatus st = fs_.sync_directory(place.dir()); !st.ok()) {
    report_.failed(place.path().c_str(), "sync directory", st);
    return false;
  }
  return true;
}

// SYSTEM.DAT is written first, so every step of it comes before any of MCFG.DAT: the first
// failure in that order decides the exit code.
ReplaceResult FileSystemFiles::replace(std::span<const ConstBytes> system, ConstBytes mcfg) {
  StagedFile sys(fs_, report_, env_.process_id(), kSystemName, system_, read_);
  if (!system_.found() || !sys.prepare() || !sys.stage(system)) return ReplaceResult::system_failed;
  if (!mcfg.empty()) return replace_both(sys, mcfg);
  if (!sys.place()) {
    sys.discard();
    return ReplaceResult::system_failed;
  }
  // In place: a directory that cannot be synced changes nothing about that.
  (void)durable(system_);
  return ReplaceResult::ok;
}

// SYSTEM.DAT staged: MCFG.DAT staged, its original kept, placed; SYSTEM.DAT placed; the original
// released.
ReplaceResult FileSystemFiles::replace_both(StagedFile& sys, ConstBytes mcfg) {
  const FsStatus resolved = mcfg_.resolve(kMcfgName);
  if (!resolved.ok()) report_.failed(kMcfgName, "resolve", resolved);
  StagedFile cfg(fs_, report_, env_.process_id(), kMcfgName, mcfg_, mcfg_.facts());
  KeptOriginal old(fs_, report_, env_.process_id());
  const ConstBytes parts[] = {mcfg};
  bool ready = resolved.ok() && cfg.prepare();
  // One file under both names would end up holding one of the two contents only.
  if (ready && cfg.old().exists && cfg.old().id == sys.old().id) {
    report_.text(kMcfgName, "resolve", "the same file as SYSTEM.DAT");
    ready = false;
  }
  const auto undo = [&](ReplaceResult result) {
    old.restore();
    cfg.discard();
    sys.discard();
    return result;
  };
  if (!ready || !cfg.stage(parts) || !old.keep(cfg)) return undo(ReplaceResult::mcfg_failed);
  const bool in_order = names_in_order(sys, cfg);
  if (!in_order && !durable(system_)) return undo(ReplaceResult::system_failed);
  if (!in_order && apart() && !durable(mcfg_)) return undo(ReplaceResult::mcfg_failed);
  if (!cfg.place() || (!in_order && !durable(mcfg_))) return undo(ReplaceResult::mcfg_failed);
  if (!sys.place()) return undo(ReplaceResult::system_failed);
  // In place: a directory that cannot be synced changes nothing about that. Where the names are
  // kept in order, both directories lie on one file system with one journal: this one sync
  // makes every change of names before it durable, in MCFG.DAT's directory too.
  if (!in_order) (void)durable(system_);
  old.release();
  if (in_order) (void)durable(system_);
  return ReplaceResult::ok;
}

bool FileSystemFiles::apart() const {
  return !same_directory(system_.path().c_str(), mcfg_.path().c_str());
}

// Whether one sync of the directories at the end keeps every state a power cut may leave a pair:
// both files on one file system that makes the changes of names durable in order.
bool FileSystemFiles::names_in_order(const StagedFile& sys, const StagedFile& cfg) {
  return fs_.keeps_name_order(system_.dir()) &&
         (!apart() ||
          (fs_.keeps_name_order(mcfg_.dir()) && sys.made().volume == cfg.made().volume));
}

ReplaceResult FileSystemFiles::replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) {
  env_.hold_signals();
  const ReplaceResult result = replace(system, mcfg);
  release_lock();
  // A signal that came meanwhile ends the process here, with the files whole.
  env_.release_signals();
  return result;
}

}  // namespace datlift
