// SPDX-License-Identifier: MIT
#include "support/fake_file_system.h"

#include <algorithm>
#include <cstring>

namespace datlift::testing {
namespace {

constexpr int kNoEntry = 2;       // ENOENT
constexpr int kExists = 17;       // EEXIST
constexpr int kUnsupported = 95;  // EOPNOTSUPP
constexpr int kWouldBlock = 11;   // EWOULDBLOCK

FsStatus error(Fault fault, int code) {
  return {fault, code, nullptr};
}

}  // namespace

void FakeFileSystem::put_file(const std::string& name, const std::string& content, int mode) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {content, mode};
  names_[name] = {id, {}};
}

void FakeFileSystem::put_link(const std::string& name, const std::string& to) {
  names_[name] = {0, to};
}

std::map<std::string, std::string> FakeFileSystem::contents() const {
  std::map<std::string, std::string> all;
  for (const auto& [name, entry] : names_)
    all[name] = entry.object == 0 ? "-> " + entry.link_to : objects_.at(entry.object).content;
  return all;
}

int FakeFileSystem::mode_of(const std::string& name) const {
  const std::uint64_t id = follow(name);
  return id == 0 ? -1 : objects_.at(id).mode;
}

bool FakeFileSystem::fault(const char* primitive, const std::string& path) {
  log.push_back(std::string(primitive) + " " + path);
  ++calls;
  if (calls == kill_at && !at_death) {
    if (kill_is_held && signals_held > 0)
      kill_pending_ = true;
    else
      at_death = contents();
  }
  const auto named = std::find_if(fail_named.begin(), fail_named.end(), [&](const std::string& n) {
    const std::size_t space = n.find(' ');
    return n.compare(0, space, primitive) == 0 &&
           path.find(n.substr(space + 1)) != std::string::npos;
  });
  const bool by_name = named != fail_named.end();
  if (by_name) fail_named.erase(named);
  const bool fails = fail_at.count(calls) != 0 || by_name || done_but_failed.count(calls) != 0;
  if (!fails) return false;
  failed.push_back(primitive);
  return !done_but_fails();
}

bool FakeFileSystem::done_but_fails() const {
  const std::string& call = log.back();
  const bool names_only =
      call.rfind("rename", 0) == 0 || call.rfind("link ", 0) == 0 || call.rfind("remove ", 0) == 0;
  return names_only && done_but_failed.count(calls) != 0;
}

void FakeFileSystem::release_signals() {
  if (--signals_held != 0) signals_released_in_order = false;
  if (kill_pending_ && signals_held == 0 && !at_death) at_death = contents();
}

std::uint64_t FakeFileSystem::follow(const std::string& name, std::string* target) const {
  std::string at = name;
  for (int depth = 0; depth < 8; ++depth) {
    const auto it = names_.find(at);
    if (it == names_.end()) break;
    if (it->second.object != 0) {
      if (target != nullptr) *target = at;
      return it->second.object;
    }
    at = it->second.link_to;
  }
  if (target != nullptr) *target = at;
  return 0;
}

FsStatus FakeFileSystem::resolve(const char* name, Path& target, FileFacts& facts) {
  if (fault("resolve", name)) return error(Fault::other, kFaultCode);
  facts = {};
  const auto it = names_.find(name);
  if (it == names_.end()) {
    target.assign(name);
    return {};
  }
  std::string end;
  const std::uint64_t id = follow(name, &end);
  if (id == 0) return error(Fault::absent, kNoEntry);  // a dangling link
  target.assign(end.c_str());
  facts = {true, true, {1, id}};
  return {};
}

FsStatus FakeFileSystem::check_writable(const char* path) {
  if (fault("check_writable", path)) return error(Fault::other, kFaultCode);
  return follow(path) != 0 ? FsStatus{} : error(Fault::other, kNoEntry);
}

FsStatus FakeFileSystem::open_read(const char* path, FileHandle& file, FileFacts& facts) {
  if (fault("open_read", path)) return error(Fault::other, kFaultCode);
  const std::uint64_t id = follow(path);
  if (id == 0) return error(Fault::absent, kNoEntry);
  file = next_handle_++;
  open_[file] = {id, 0, path};
  facts = {true, true, {1, id}};
  return {};
}

FsStatus FakeFileSystem::read(FileHandle file, Bytes dst, std::size_t& got) {
  got = 0;
  if (fault("read", "")) return error(Fault::other, kFaultCode);
  Open& o = open_.at(file);
  const std::string& content = objects_.at(o.object).content;
  got = std::min(dst.size(), content.size() - std::min(o.position, content.size()));
  std::memcpy(dst.data(), content.data() + o.position, got);
  o.position += got;
  return {};
}

FsStatus FakeFileSystem::create_new(const char* path, FileHandle& file, FileId& id) {
  if (fault("create_new", path)) return error(Fault::other, kFaultCode);
  if (names_.count(path) != 0) return error(Fault::exists, kExists);
  put_file(path, "", 0600);
  file = next_handle_++;
  open_[file] = {names_.at(path).object, 0, path};
  id = {1, names_.at(path).object};
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::copy_metadata(const char* from, FileHandle to) {
  if (fault("copy_metadata", from)) return error(Fault::other, kFaultCode);
  objects_.at(open_.at(to).object).mode = objects_.at(follow(from)).mode;
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::set_new_file_access(const char* path, FileHandle to) {
  if (fault("set_new_file_access", path)) return error(Fault::other, kFaultCode);
  objects_.at(open_.at(to).object).mode = 0666 & ~umask;
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

// As the system does, a write clears the set-user-ID and set-group-ID bits.
FsStatus FakeFileSystem::write(FileHandle file, std::span<const ConstBytes> parts) {
  if (fault("write", open_.at(file).name)) return error(Fault::other, kFaultCode);
  Object& o = objects_.at(open_.at(file).object);
  if ((o.mode & 077) != 0) ++writes_open_to_others;
  for (const ConstBytes part : parts) o.content.append(part.begin(), part.end());
  o.mode &= ~06000;
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::sync(FileHandle file) {
  return fault("sync", open_.at(file).name) ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::close(FileHandle file) {
  // A failed close releases the handle all the same.
  const auto it = open_.find(file);
  const std::string name = it != open_.end() ? it->second.name : "";
  if (it != open_.end()) open_.erase(it);
  return fault("close", name) ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::rename(const char* from, const char* to) {
  if (fault("rename", std::string(from) + " " + to)) return error(Fault::other, kFaultCode);
  const auto it = names_.find(from);
  if (it == names_.end()) return error(Fault::other, kNoEntry);
  const Entry moved = it->second;
  // Two names of one file: nothing happens, as POSIX says.
  const auto there = names_.find(to);
  if (there == names_.end() || there->second.object == 0 || there->second.object != moved.object) {
    names_.erase(it);
    names_[to] = moved;
  }
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::rename_new(const char* from, const char* to) {
  if (fault("rename_new", std::string(from) + " " + to)) return error(Fault::other, kFaultCode);
  if (names_.count(to) != 0) return error(Fault::exists, kExists);
  const auto it = names_.find(from);
  if (it == names_.end()) return error(Fault::other, kNoEntry);
  names_[to] = it->second;
  names_.erase(from);
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::link(const char* existing, const char* name) {
  if (fault("link", std::string(existing) + " " + name)) return error(Fault::other, kFaultCode);
  if (!can_link) return error(Fault::unsupported, kUnsupported);
  if (names_.count(name) != 0) return error(Fault::exists, kExists);
  const auto it = names_.find(existing);
  if (it == names_.end()) return error(Fault::other, kNoEntry);
  names_[name] = it->second;
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::remove(const char* path) {
  if (fault("remove", path)) return error(Fault::other, kFaultCode);
  if (names_.erase(path) == 0) return error(Fault::other, kNoEntry);
  return done_but_fails() ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::sync_directory(const char* path) {
  return fault("sync_directory", path) ? error(Fault::other, kFaultCode) : FsStatus{};
}

FsStatus FakeFileSystem::lock(const char* name, FileHandle& lock, FileId& locked) {
  if (fault("lock", name)) return error(Fault::other, kFaultCode);
  if (!can_lock) return error(Fault::unsupported, kUnsupported);
  const std::uint64_t id = follow(name);
  if (id == 0) return error(Fault::absent, kNoEntry);
  if (busy_attempts > 0) {
    --busy_attempts;
    return error(Fault::busy, kWouldBlock);
  }
  lock = next_handle_++;
  open_[lock] = {id, 0, name};
  locked = {1, id};
  return {};
}

void FakeFileSystem::unlock(FileHandle lock) {
  open_.erase(lock);
}

const char* FakeFileSystem::describe(int code) {
  switch (code) {
    case kFaultCode:
      return "Input/output error";
    case kNoEntry:
      return "No such file or directory";
    case kUnsupported:
      return "Operation not supported";
    default:
      return "Unknown error";
  }
}

}  // namespace datlift::testing
