// SPDX-License-Identifier: MIT
#include "support/fake_file_system.h"

#include <algorithm>
#include <cstring>

namespace datlift::test {
namespace {

FsStatus error(Fault fault, int code) {
  return {fault, code, nullptr};
}

// A path as tests name it: "/" between its parts (Windows writes "\\"), without a leading "./"
// (the program names files beside others "./.NAME...").
std::string plain(const char* path) {
  std::string p(path);
  std::replace(p.begin(), p.end(), '\\', '/');
  return p.rfind("./", 0) == 0 ? p.substr(2) : p;
}

}  // namespace

const char* describe_test_error(int code) {
  switch (code) {
    case kFaultCode:
      return "Input/output error";
    case kNoEntry:
      return "No such file or directory";
    case kUnsupported:
      return "Operation not supported";
    case kDenied:
      return "Permission denied";
    default:
      return "Unknown error";
  }
}

void FakeFileSystem::put_file(const std::string& name, const std::string& content, int mode) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {content, mode, false};
  names_[name] = {id, {}};
}

void FakeFileSystem::put_link(const std::string& name, const std::string& to) {
  names_[name] = {0, to};
}

void FakeFileSystem::put_directory(const std::string& name) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {"", 0755, true};
  names_[name] = {id, {}};
}

Contents FakeFileSystem::contents() const {
  Contents all;
  for (const auto& [name, entry] : names_) {
    if (entry.object == 0)
      all[name] = "-> " + entry.link_to;
    else
      all[name] = objects_.at(entry.object).directory ? "<dir>" : objects_.at(entry.object).content;
  }
  return all;
}

int FakeFileSystem::mode_of(const std::string& name) const {
  const std::uint64_t id = follow(name);
  return id == 0 ? -1 : objects_.at(id).mode;
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
    const std::size_t slash = at.rfind('/');
    at = (slash == std::string::npos ? "" : at.substr(0, slash + 1)) + it->second.link_to;
  }
  if (target != nullptr) *target = at;
  return 0;
}

FileFacts FakeFileSystem::facts_of(std::uint64_t id) const {
  const Object& o = objects_.at(id);
  return {true, !o.directory, {1, id}, o.content.size()};
}

FsStatus FakeFileSystem::resolve(const char* name, Path& target, FileFacts& facts) {
  facts = {};
  if (names_.count(plain(name)) == 0) {
    (void)target.assign(name);
    return {};
  }
  std::string end;
  const std::uint64_t id = follow(plain(name), &end);
  if (id == 0) return error(Fault::absent, kNoEntry);  // a dangling link
  (void)target.assign(end == plain(name) ? name : end.c_str());
  facts = facts_of(id);
  return {};
}

FsStatus FakeFileSystem::check_writable(const char* path) {
  const std::uint64_t id = follow(plain(path));
  if (id == 0 || objects_.at(id).directory) return error(Fault::other, kNoEntry);
  return (objects_.at(id).mode & 0200) != 0 ? FsStatus{} : error(Fault::other, kDenied);
}

FsStatus FakeFileSystem::open_read(const char* path, FileHandle& file, FileFacts& facts) {
  const std::uint64_t id = follow(plain(path));
  if (id == 0) return error(Fault::absent, kNoEntry);
  file = next_handle_++;
  open_[file] = {id, 0};
  facts = facts_of(id);
  return {};
}

FsStatus FakeFileSystem::read(FileHandle file, Bytes dst, std::size_t& got) {
  Open& o = open_.at(file);
  const std::string& content = objects_.at(o.object).content;
  got = std::min(dst.size(), content.size() - std::min(o.position, content.size()));
  std::memcpy(dst.data(), content.data() + o.position, got);
  o.position += got;
  return {};
}

FsStatus FakeFileSystem::create_new(const char* path, FileHandle& file, FileId& id) {
  if (names_.count(plain(path)) != 0) return error(Fault::exists, kExists);
  put_file(plain(path), "", 0600);
  file = next_handle_++;
  open_[file] = {names_.at(plain(path)).object, 0};
  id = {1, names_.at(plain(path)).object};
  return {};
}

FsStatus FakeFileSystem::copy_metadata(const char* from, FileHandle to) {
  objects_.at(open_.at(to).object).mode = objects_.at(follow(plain(from))).mode;
  return {};
}

FsStatus FakeFileSystem::set_new_file_access(const char*, FileHandle to) {
  objects_.at(open_.at(to).object).mode = 0666 & ~umask;
  return {};
}

FsStatus FakeFileSystem::write(FileHandle file, std::span<const ConstBytes> parts) {
  Object& o = objects_.at(open_.at(file).object);
  if ((o.mode & 077) != 0) ++writes_open_to_others;
  for (const ConstBytes part : parts) o.content.append(part.begin(), part.end());
  o.mode &= ~06000;
  return {};
}

FsStatus FakeFileSystem::close(FileHandle file) {
  open_.erase(file);
  return {};
}

FsStatus FakeFileSystem::rename(const char* from, const char* to) {
  const auto it = names_.find(plain(from));
  if (it == names_.end()) return error(Fault::other, kNoEntry);
  const Entry moved = it->second;
  // Two names of one file: nothing happens, as POSIX says.
  const auto there = names_.find(plain(to));
  if (there == names_.end() || there->second.object == 0 || there->second.object != moved.object) {
    names_.erase(it);
    names_[plain(to)] = moved;
  }
  return {};
}

FsStatus FakeFileSystem::rename_new(const char* from, const char* to) {
  if (names_.count(plain(to)) != 0) return error(Fault::exists, kExists);
  return rename(from, to);
}

FsStatus FakeFileSystem::link(const char* existing, const char* name) {
  if (names_.count(plain(name)) != 0) return error(Fault::exists, kExists);
  const auto it = names_.find(plain(existing));
  if (it == names_.end()) return error(Fault::other, kNoEntry);
  names_[plain(name)] = it->second;
  return {};
}

FsStatus FakeFileSystem::remove(const char* path) {
  return names_.erase(plain(path)) != 0 ? FsStatus{} : error(Fault::other, kNoEntry);
}

FsStatus FakeFileSystem::lock(const char* name, FileHandle& lock, FileId& locked) {
  const std::uint64_t id = follow(plain(name));
  if (id == 0) return error(Fault::absent, kNoEntry);
  lock = next_handle_++;
  open_[lock] = {id, 0};
  locked = {1, id};
  return {};
}

void FakeFileSystem::unlock(FileHandle lock) {
  open_.erase(lock);
}

const char* FakeFileSystem::describe(int code) {
  return describe_test_error(code);
}

}  // namespace datlift::test
