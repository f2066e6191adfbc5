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

FsStatus FaultInjector::resolve(const char* name, Path& target, FileFacts& facts) {
  return apply("resolve", name, [&] { return inner_.resolve(name, target, facts); });
}

FsStatus FaultInjector::check_writable(const char* path) {
  return apply("check_writable", path, [&] { return inner_.check_writable(path); });
}

FsStatus FaultInjector::open_read(const char* path, FileHandle& file, FileFacts& facts) {
  const FsStatus st = apply("open_read", path, [&] { return inner_.open_read(path, file, facts); });
  if (st.ok()) names_[file] = path;
  return st;
}

FsStatus FaultInjector::read(FileHandle file, Bytes dst, std::size_t& got) {
  got = 0;
  return apply("read", name_of(file), [&] { return inner_.read(file, dst, got); });
}

FsStatus FaultInjector::create_new(const char* path, FileHandle& file, FileId& id) {
  const FsStatus st = apply("create_new", path, [&] { return inner_.create_new(path, file, id); });
  if (st.ok()) names_[file] = path;
  return st;
}

FsStatus FaultInjector::copy_metadata(const char* from, FileHandle to) {
  return apply("copy_metadata", from, [&] { return inner_.copy_metadata(from, to); });
}

FsStatus FaultInjector::set_new_file_access(const char* path, FileHandle to) {
  return apply("set_new_file_access", path, [&] { return inner_.set_new_file_access(path, to); });
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

FsStatus FaultInjector::rename(const char* from, const char* to) {
  return apply("rename", std::string(from) + " " + to, [&] { return inner_.rename(from, to); });
}

FsStatus FaultInjector::rename_new(const char* from, const char* to) {
  return apply("rename_new", std::string(from) + " " + to,
               [&] { return inner_.rename_new(from, to); });
}

FsStatus FaultInjector::link(const char* existing, const char* name) {
  return apply("link", std::string(existing) + " " + name, [&] {
    return can_link ? inner_.link(existing, name) : injected(Fault::unsupported, kUnsupported);
  });
}

FsStatus FaultInjector::remove(const char* path) {
  return apply("remove", path, [&] { return inner_.remove(path); });
}

FsStatus FaultInjector::sync_directory(const char* path) {
  return apply("sync_directory", path, [&] { return inner_.sync_directory(path); });
}

FsStatus FaultInjector::lock(const char* name, FileHandle& lock, FileId& locked) {
  return apply("lock", name, [&] {
    if (!can_lock) return injected(Fault::unsupported, kUnsupported);
    if (busy_attempts > 0) {
      --busy_attempts;
      return injected(Fault::busy, kWouldBlock);
    }
    const FsStatus st = inner_.lock(name, lock, locked);
    if (st.ok()) names_[lock] = name;
    return st;
  });
}

}  // namespace datlift::test
