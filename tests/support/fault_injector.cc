// SPDX-License-Identifier: MIT
#include "support/fault_injector.h"

#include <algorithm>

#include "support/fake_file_system.h"

namespace datlift::test {
namespace {

FsStatus injected(Fault fault, int code) {
  return {fault, code, nullptr};
}

// Calls that only change names: a retransmitted one may be done and still report failure.
bool names_only(const char* primitive) {
  const std::string p = primitive;
  return p == "rename" || p == "rename_new" || p == "link" || p == "remove";
}

}  // namespace

FaultInjector::Fate FaultInjector::fate(const char* primitive, const std::string& path) {
  log.push_back(std::string(primitive) + " " + path);
  ++calls;
  if (calls == meddle_at && meddle) meddle();
  if (calls == kill_at && !at_death) {
    if (kill_is_held && signals_held > 0)
      kill_pending_ = true;
    else
      at_death = snapshot_();
  }
  const auto named = std::find_if(fail_named.begin(), fail_named.end(), [&](const std::string& n) {
    const std::size_t space = n.find(' ');
    return n.compare(0, space, primitive) == 0 &&
           path.find(n.substr(space + 1)) != std::string::npos;
  });
  const bool by_name = named != fail_named.end();
  if (by_name) fail_named.erase(named);
  if (fail_at.count(calls) == 0 && !by_name && done_but_failed.count(calls) == 0) return Fate::work;
  failed.push_back(primitive);
  return done_but_failed.count(calls) != 0 && names_only(primitive) ? Fate::fail_after_work
                                                                    : Fate::fail;
}

FsStatus FaultInjector::apply(const char* primitive, const std::string& path,
                              const std::function<FsStatus()>& work) {
  const Fate f = fate(primitive, path);
  if (f == Fate::fail) return injected(Fault::other, kFaultCode);
  const FsStatus st = work();
  return f == Fate::fail_after_work && st.ok() ? injected(Fault::other, kFaultCode) : st;
}

std::string FaultInjector::name_of(FileHandle file) const {
  const auto it = names_.find(file);
  return it != names_.end() ? it->second : "";
}

void FaultInjector::release_signals() {
  if (--signals_held != 0) signals_released_in_order = false;
  if (kill_pending_ && signals_held == 0 && !at_death) at_death = snapshot_();
}

// The errors it makes up are told by their own texts; the others by the inner file system.
const char* FaultInjector::describe(int code) {
  if (code == kFaultCode || code == kUnsupported || code == kWouldBlock)
    return describe_test_error(code);
  return inner_.describe(code);
}

FsStatus FaultInjector::resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) {
  return apply("resolve", name, [&] { return inner_.resolve(name, dir, path, facts); });
}

FsStatus FaultInjector::look(DirHandle dir, const char* name, FileFacts& facts) {
  return apply("look", name, [&] { return inner_.look(dir, name, facts); });
}

FsStatus FaultInjector::check_writable(DirHandle dir, const char* name) {
  return apply("check_writable", name, [&] { return inner_.check_writable(dir, name); });
}

FsStatus FaultInjector::open_read(DirHandle dir, const char* name, FileHandle& file,
                                  FileFacts& facts) {
  const FsStatus st =
      apply("open_read", name, [&] { return inner_.open_read(dir, name, file, facts); });
  if (st.ok()) names_[file] = name;
  return st;
}

FsStatus FaultInjector::read(FileHandle file, Bytes dst, std::size_t& got) {
  got = 0;
  return apply("read", name_of(file), [&] { return inner_.read(file, dst, got); });
}

FsStatus FaultInjector::create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) {
  const FsStatus st =
      apply("create_new", name, [&] { return inner_.create_new(dir, name, file, id); });
  if (st.ok()) names_[file] = name;
  return st;
}

FsStatus FaultInjector::copy_metadata(DirHandle dir, const char* name, const FileId& old,
                                      FileHandle to) {
  return apply("copy_metadata", name, [&] { return inner_.copy_metadata(dir, name, old, to); });
}

FsStatus FaultInjector::set_new_file_access(DirHandle dir, FileHandle to) {
  return apply("set_new_file_access", name_of(to),
               [&] { return inner_.set_new_file_access(dir, to); });
}

FsStatus FaultInjector::write(FileHandle file, std::span<const ConstBytes> parts) {
  return apply("write", name_of(file), [&] { return inner_.write(file, parts); });
}

FsStatus FaultInjector::sync(FileHandle file) {
  return apply("sync", name_of(file), [&] { return inner_.sync(file); });
}

// A failed close releases the handle all the same.
FsStatus FaultInjector::close(FileHandle file) {
  const Fate f = fate("close", name_of(file));
  const FsStatus st = inner_.close(file);
  names_.erase(file);
  return f != Fate::work ? injected(Fault::other, kFaultCode) : st;
}

FsStatus FaultInjector::rename(DirHandle dir, const char* from, const char* to) {
  return apply("rename", std::string(from) + " " + to,
               [&] { return inner_.rename(dir, from, to); });
}

FsStatus FaultInjector::rename_new(DirHandle dir, const char* from, const char* to) {
  return apply("rename_new", std::string(from) + " " + to,
               [&] { return inner_.rename_new(dir, from, to); });
}

FsStatus FaultInjector::link(DirHandle dir, const char* existing, const char* name) {
  return apply("link", std::string(existing) + " " + name, [&] {
    return can_link ? inner_.link(dir, existing, name) : injected(Fault::unsupported, kUnsupported);
  });
}

FsStatus FaultInjector::remove(DirHandle dir, const char* name) {
  return apply("remove", name, [&] { return inner_.remove(dir, name); });
}

FsStatus FaultInjector::sync_directory(DirHandle dir) {
  return apply("sync_directory", "", [&] { return inner_.sync_directory(dir); });
}

FsStatus FaultInjector::lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) {
  return apply("lock", name, [&] {
    if (!can_lock) return injected(Fault::unsupported, kUnsupported);
    if (busy_attempts > 0) {
      --busy_attempts;
      return injected(Fault::busy, kWouldBlock);
    }
    const FsStatus st = inner_.lock(dir, name, lock, locked);
    if (st.ok()) names_[lock] = name;
    return st;
  });
}

}  // namespace datlift::test
