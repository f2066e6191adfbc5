// SPDX-License-Identifier: MIT
#include "support/fake_file_system.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <set>

namespace datlift::test {
namespace {

FsStatus error(Fault fault, int code) {
  return {fault, code, nullptr};
}

// The parts of a path ("/" between them; Windows writes "\\" too).
std::vector<std::string> parts_of(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= path.size();) {
    const std::size_t slash = std::min(path.find('/', at), path.size());
    if (slash > at) parts.push_back(path.substr(at, slash - at));
    at = slash + 1;
  }
  return parts;
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
    case kLoop:
      return "Too many levels of symbolic links";
    default:
      return "Unknown error";
  }
}

// What a test lays out is durable.
void FakeFileSystem::put_file(const std::string& name, const std::string& content, int mode) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {content, mode, false, {}};
  names_[name] = durable_names_[name] = id;
  durable_data_[id] = content;
}

void FakeFileSystem::put_link(const std::string& name, const std::string& to) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {"", 0777, false, to};
  names_[name] = durable_names_[name] = id;
}

void FakeFileSystem::put_directory(const std::string& name) {
  const std::uint64_t id = next_object_++;
  objects_[id] = {"", 0755, true, {}};
  names_[name] = durable_names_[name] = id;
}

void FakeFileSystem::move(const std::string& from, const std::string& to) {
  names_[to] = durable_names_[to] = names_.at(from);
  names_.erase(from);
  durable_names_.erase(from);
}

void FakeFileSystem::changed(DirHandle dir,
                             std::vector<std::pair<std::string, std::uint64_t>> names) {
  pending_.push_back({directories_.at(static_cast<std::size_t>(dir)), std::move(names)});
}

FsStatus FakeFileSystem::sync(FileHandle file) {
  const std::uint64_t id = open_.at(file).object;
  durable_data_[id] = objects_.at(id).content;
  return {};
}

// The directory's changes are durable; in order, so are all made before them.
FsStatus FakeFileSystem::sync_directory(DirHandle dir) {
  const std::string& prefix = directories_.at(static_cast<std::size_t>(dir));
  std::size_t through = 0;
  for (std::size_t i = 0; i < pending_.size(); ++i)
    if (pending_[i].directory == prefix) through = i + 1;
  std::vector<NameChange> left;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    const bool now =
        durability == Durability::ordered ? i < through : pending_[i].directory == prefix;
    if (!now) {
      left.push_back(pending_[i]);
      continue;
    }
    for (const auto& [name, id] : pending_[i].names) {
      if (id == 0)
        durable_names_.erase(name);
      else
        durable_names_[name] = id;
    }
  }
  pending_ = std::move(left);
  return {};
}

Contents FakeFileSystem::survivors(const std::vector<bool>& kept, int part) const {
  std::map<std::string, std::uint64_t> names = durable_names_;
  for (std::size_t i = 0; i < pending_.size(); ++i) {
    if (!kept[i]) continue;
    for (const auto& [name, id] : pending_[i].names) {
      if (id == 0)
        names.erase(name);
      else
        names[name] = id;
    }
  }
  Contents files;
  for (const auto& [name, id] : names) {
    const Object& o = objects_.at(id);
    const auto synced = durable_data_.find(id);
    std::string content = synced != durable_data_.end() ? synced->second : "";
    if (content != o.content && part > 0)
      content = part == 1 ? o.content.substr(0, o.content.size() / 2) : o.content;
    files[name] = !o.link_to.empty() ? "-> " + o.link_to : o.directory ? "<dir>" : content;
  }
  return files;
}

std::vector<Contents> FakeFileSystem::power_cut_states(std::size_t at_most) const {
  const std::size_t n = pending_.size();
  std::vector<std::vector<bool>> choices;
  if (durability == Durability::ordered) {
    for (std::size_t k = 0; k <= n; ++k) {
      std::vector<bool> first(n, false);
      std::fill_n(first.begin(), k, true);
      choices.push_back(first);
    }
  } else {
    for (std::uint64_t mask = 0; mask < (1ull << std::min<std::size_t>(n, 20)); ++mask) {
      std::vector<bool> some(n);
      for (std::size_t i = 0; i < n; ++i) some[i] = i < 20 && ((mask >> i) & 1) != 0;
      choices.push_back(some);
    }
  }
  // The data written since a file's last sync: in order, lost; otherwise none, a part or all of
  // it (files are written one after the other: one at a time has such data).
  const int parts = durability == Durability::ordered ? 1 : 3;
  std::set<Contents> states;
  for (const auto& kept : choices)
    for (int part = 0; part < parts; ++part) states.insert(survivors(kept, part));
  std::vector<Contents> all(states.begin(), states.end());
  if (all.size() > at_most) {
    std::mt19937 pick(20261209);
    std::shuffle(all.begin(), all.end(), pick);
    all.resize(at_most);
  }
  return all;
}

Contents FakeFileSystem::contents() const {
  Contents all;
  for (const auto& [name, id] : names_) {
    const Object& o = objects_.at(id);
    all[name] = !o.link_to.empty() ? "-> " + o.link_to : o.directory ? "<dir>" : o.content;
  }
  return all;
}

int FakeFileSystem::mode_of(const std::string& name) const {
  std::uint64_t id = at(name);
  for (std::string dir = name; is_link(id);) {
    dir = dir.substr(0, dir.rfind('/') + 1);
    dir = objects_.at(id).link_to[0] == '/' ? objects_.at(id).link_to.substr(1)
                                            : dir + objects_.at(id).link_to;
    id = at(dir);
  }
  return id == 0 ? -1 : objects_.at(id).mode;
}

int FakeFileSystem::open_directories() const {
  return static_cast<int>(std::count(directory_open_.begin(), directory_open_.end(), true));
}

std::string FakeFileSystem::in(DirHandle dir, const char* name) const {
  return directories_.at(static_cast<std::size_t>(dir)) + name;
}

std::uint64_t FakeFileSystem::at(const std::string& name) const {
  const auto it = names_.find(name);
  return it == names_.end() ? 0 : it->second;
}

FileFacts FakeFileSystem::facts_of(std::uint64_t id) const {
  const Object& o = objects_.at(id);
  return {true, !o.directory && o.link_to.empty(), {1, id}, o.content.size()};
}

// Part by part, as the system walks a path: a link's text takes its place, ".." leaves the
// directory entered last.
FsStatus FakeFileSystem::resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) {
  facts = {};
  std::vector<std::string> pending = parts_of(name), entered;
  int links = 0;
  while (!pending.empty()) {
    const std::string part = pending.front();
    pending.erase(pending.begin());
    std::string prefix;
    for (const std::string& e : entered) prefix += e + "/";
    if (part == "." && !pending.empty()) continue;
    const std::uint64_t id = at(prefix + part);
    if (is_link(id)) {
      if (++links > 40) return error(Fault::other, kLoop);
      const std::string& text = objects_.at(id).link_to;
      std::vector<std::string> parts = parts_of(text);
      if (text[0] == '/') entered.clear();
      pending.insert(pending.begin(), parts.begin(), parts.end());
      continue;
    }
    if (!pending.empty()) {
      if (part == "..") {
        if (!entered.empty()) entered.pop_back();
      } else if (id != 0 && !objects_.at(id).directory) {
        return error(Fault::other, kNotDirectory);
      } else {
        entered.push_back(part);
      }
      continue;
    }
    if (id == 0 && links > 0) return error(Fault::absent, kNoEntry);  // a dangling link
    if (!path.assign((prefix + part).c_str())) return error(Fault::other, 36);
    if (id != 0) facts = facts_of(id);
    dir = static_cast<DirHandle>(directories_.size());
    directories_.push_back(prefix);
    directory_open_.push_back(true);
    return {};
  }
  return error(Fault::other, kNoEntry);
}

void FakeFileSystem::close_directory(DirHandle dir) {
  directory_open_.at(static_cast<std::size_t>(dir)) = false;
}

FsStatus FakeFileSystem::look(DirHandle dir, const char* name, FileFacts& facts) {
  const std::uint64_t id = at(in(dir, name));
  facts = id == 0 ? FileFacts{} : facts_of(id);
  return {};
}

FsStatus FakeFileSystem::check_writable(DirHandle dir, const char* name) {
  const std::uint64_t id = at(in(dir, name));
  if (id == 0 || is_link(id)) return error(Fault::changed, id == 0 ? kNoEntry : kLoop);
  if (objects_.at(id).directory) return error(Fault::other, kNoEntry);
  return (objects_.at(id).mode & 0200) != 0 ? FsStatus{} : error(Fault::other, kDenied);
}

FsStatus FakeFileSystem::open_read(DirHandle dir, const char* name, FileHandle& file,
                                   FileFacts& facts) {
  const std::uint64_t id = at(in(dir, name));
  if (id == 0) return error(Fault::absent, kNoEntry);
  if (is_link(id)) return error(Fault::changed, kLoop);
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

FsStatus FakeFileSystem::create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) {
  const std::string whole = in(dir, name);
  if (names_.count(whole) != 0) return error(Fault::exists, kExists);
  const std::uint64_t made = next_object_++;
  objects_[made] = {"", 0600, false, {}};
  names_[whole] = made;
  changed(dir, {{whole, made}});
  file = next_handle_++;
  open_[file] = {made, 0};
  id = {1, made};
  return {};
}

FsStatus FakeFileSystem::copy_metadata(DirHandle dir, const char* name, const FileId& old,
                                       FileHandle to) {
  const std::uint64_t id = at(in(dir, name));
  if (id == 0 || is_link(id) || !(FileId{1, id} == old)) return {Fault::changed, 0, nullptr};
  objects_.at(open_.at(to).object).mode = objects_.at(id).mode;
  return {};
}

FsStatus FakeFileSystem::set_new_file_access(DirHandle, FileHandle to) {
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

FsStatus FakeFileSystem::rename(DirHandle dir, const char* from, const char* to) {
  const std::string source = in(dir, from), target = in(dir, to);
  const std::uint64_t moved = at(source);
  if (moved == 0) return error(Fault::other, kNoEntry);
  // Two names of one file: nothing happens, as POSIX says.
  if (at(target) != moved) {
    names_.erase(source);
    names_[target] = moved;
    changed(dir, {{target, moved}, {source, 0}});
  }
  return {};
}

FsStatus FakeFileSystem::rename_new(DirHandle dir, const char* from, const char* to) {
  if (names_.count(in(dir, to)) != 0) return error(Fault::exists, kExists);
  return rename(dir, from, to);
}

FsStatus FakeFileSystem::link(DirHandle dir, const char* existing, const char* name) {
  if (names_.count(in(dir, name)) != 0) return error(Fault::exists, kExists);
  const std::uint64_t id = at(in(dir, existing));
  if (id == 0) return error(Fault::other, kNoEntry);
  names_[in(dir, name)] = id;
  changed(dir, {{in(dir, name), id}});
  return {};
}

FsStatus FakeFileSystem::remove(DirHandle dir, const char* name) {
  if (names_.erase(in(dir, name)) == 0) return error(Fault::other, kNoEntry);
  changed(dir, {{in(dir, name), 0}});
  return {};
}

FsStatus FakeFileSystem::lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) {
  const std::uint64_t id = at(in(dir, name));
  if (id == 0) return error(Fault::absent, kNoEntry);
  if (is_link(id)) return error(Fault::changed, kLoop);
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
