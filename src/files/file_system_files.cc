// SPDX-License-Identifier: MIT
#include "files/file_system_files.h"

#include <cstring>

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

// The lock is taken on the file, and a run that replaces the file puts a new one under the name:
// after locking, the name must still stand for the locked file, else the lock is taken anew.
LockResult FileSystemFiles::lock_system() {
  constexpr int kAttempts = kLockWaitMilliseconds / kLockPollMilliseconds;
  for (int attempt = 0; attempt <= kAttempts; ++attempt) {
    FileId locked;
    const FsStatus st = fs_.lock(kSystemName, lock_, locked);
    if (st.ok()) {
      Path target;
      FileFacts now;
      const FsStatus again = fs_.resolve(kSystemName, target, now);
      if (again.ok() && now.exists && now.regular && now.id == locked) return LockResult::locked;
      release_lock();
      // A name that exists but cannot be followed is no missing file.
      if (!again.ok()) {
        report_.failed(kSystemName, "resolve", again);
        return again.fault == Fault::absent ? LockResult::absent : LockResult::failed;
      }
      if (!now.exists || !now.regular) {
        report_.text(kSystemName, "open", now.exists ? "not a regular file" : "not found");
        return LockResult::absent;
      }
      continue;
    }
    lock_ = kNoFile;
    switch (st.fault) {
      case Fault::busy:
        if (attempt < kAttempts) env_.wait_milliseconds(kLockPollMilliseconds);
        continue;
      case Fault::absent:
        report_.failed(kSystemName, "open", st);
        return LockResult::absent;
      case Fault::unsupported:
        report_.going_on(kSystemName, "lock", st, "going on without a lock");
        return LockResult::locked;
      default:
        report_.failed(kSystemName, "lock", st);
        return LockResult::failed;
    }
  }
  return LockResult::busy;
}

InputStream* FileSystemFiles::open_input() {
  FileFacts facts;
  const FsStatus st = fs_.open_read(kSystemName, input_.file, facts);
  if (!st.ok()) {
    report_.failed(kSystemName, "open", st);
    input_.file = kNoFile;
    return nullptr;
  }
  // A directory, a pipe or a device named SYSTEM.DAT is no system file.
  if (!facts.regular) {
    report_.text(kSystemName, "open", "not a regular file");
    close_input();
    return nullptr;
  }
  return &input_;
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
  if (!st.ok()) files_.report_.failed(kSystemName, "read", st);
  return got;
}

void FileSystemFiles::sync_directories(const Path& system, const Path* mcfg) {
  // The files are in place: a directory that cannot be synced changes nothing about that.
  if (const FsStatus st = fs_.sync_directory(system.c_str()); !st.ok())
    report_.failed(system.c_str(), "sync directory", st);
  if (mcfg != nullptr && !same_directory(mcfg->c_str(), system.c_str())) {
    if (const FsStatus st = fs_.sync_directory(mcfg->c_str()); !st.ok())
      report_.failed(mcfg->c_str(), "sync directory", st);
  }
}

// SYSTEM.DAT is written first, so every step of it comes before any of MCFG.DAT: the first
// failure in that order decides the exit code.
ReplaceResult FileSystemFiles::replace(std::span<const ConstBytes> system, ConstBytes mcfg) {
  StagedFile sys(fs_, report_, env_.process_id(), kSystemName);
  if (!sys.prepare() || !sys.stage(system)) return ReplaceResult::system_failed;
  if (mcfg.empty()) {
    if (!sys.place()) {
      sys.discard();
      return ReplaceResult::system_failed;
    }
    sync_directories(sys.target(), nullptr);
    return ReplaceResult::ok;
  }
  StagedFile cfg(fs_, report_, env_.process_id(), kMcfgName);
  KeptOriginal old(fs_, report_, env_.process_id());
  const ConstBytes parts[] = {mcfg};
  bool ready = cfg.prepare();
  // One file under both names would end up holding one of the two contents only.
  if (ready && cfg.old().exists && sys.old().exists && cfg.old().id == sys.old().id) {
    report_.text(kMcfgName, "resolve", "the same file as SYSTEM.DAT");
    ready = false;
  }
  if (!ready || !cfg.stage(parts) || !old.keep(cfg) || !cfg.place()) {
    old.restore();
    cfg.discard();
    sys.discard();
    return ReplaceResult::mcfg_failed;
  }
  if (!sys.place()) {
    old.restore();
    sys.discard();
    return ReplaceResult::system_failed;
  }
  old.release();
  sync_directories(sys.target(), &cfg.target());
  return ReplaceResult::ok;
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
