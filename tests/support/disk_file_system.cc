// SPDX-License-Identifier: MIT
#include "support/disk_file_system.h"

#include <fstream>
#include <random>

namespace datlift::test {

namespace fs = std::filesystem;

DiskFileSystem::DiskFileSystem() {
  do {
    root_ = fs::temp_directory_path() / ("datlift-test-" + std::to_string(std::random_device()()));
  } while (!fs::create_directory(root_));
  previous_ = fs::current_path();
  fs::current_path(root_);
}

DiskFileSystem::~DiskFileSystem() {
  fs::current_path(previous_);
  std::error_code ec;
  for (const auto& e : fs::recursive_directory_iterator(root_, ec))
    fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(root_, ec);
}

void DiskFileSystem::put_file(const std::string& name, const std::string& content, int mode) {
  std::ofstream(root_ / name, std::ios::binary | std::ios::trunc) << content;
  fs::permissions(root_ / name, static_cast<fs::perms>(mode));
}

void DiskFileSystem::put_link(const std::string& name, const std::string& to) {
  fs::create_symlink(to, root_ / name);
}

void DiskFileSystem::put_directory(const std::string& name) {
  fs::create_directory(root_ / name);
}

void DiskFileSystem::move(const std::string& from, const std::string& to) {
  fs::rename(root_ / from, root_ / to);
}

Contents DiskFileSystem::contents() const {
  Contents all;
  for (const auto& e : fs::recursive_directory_iterator(root_)) {
    const std::string name = e.path().lexically_relative(root_).generic_string();
    if (e.is_symlink()) {
      all[name] = "-> " + fs::read_symlink(e.path()).generic_string();
    } else if (e.is_directory()) {
      all[name] = "<dir>";
    } else {
      std::ifstream in(e.path(), std::ios::binary);
      all[name] = std::string(std::istreambuf_iterator<char>(in), {});
    }
  }
  return all;
}

int DiskFileSystem::mode_of(const std::string& name) const {
#ifdef _WIN32
  (void)name;
  return -1;
#else
  std::error_code ec;
  const fs::file_status st = fs::status(root_ / name, ec);
  return ec ? -1 : static_cast<int>(st.permissions() & fs::perms::mask);
#endif
}

bool DiskFileSystem::has_links() const {
#ifdef _WIN32
  return false;
#else
  return true;
#endif
}

}  // namespace datlift::test
