// SPDX-License-Identifier: MIT
#include "support/memory_files.h"

#include <algorithm>

namespace datlift {

LockResult MemoryFiles::lock_system() {
  ++locks;
  return lock_with;
}

InputStream* MemoryFiles::open_input() {
  ++opens;
  if (!present_) return nullptr;
  input_open = true;
  return &input_;
}

void MemoryFiles::close_input() {
  input_open = false;
}

std::size_t MemoryFiles::Input::read(Bytes dst) {
  const std::size_t left = files_.source_.size() - files_.bytes_read;
  const std::size_t n = std::min(left, dst.size());
  std::copy_n(files_.source_.begin() + static_cast<std::ptrdiff_t>(files_.bytes_read), n,
              dst.begin());
  files_.bytes_read += n;
  return n;
}

ReplaceResult MemoryFiles::replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) {
  if (fail_with != ReplaceResult::ok) return fail_with;
  std::size_t size = 0;
  for (const ConstBytes part : system) size += part.size();
  if (size > system_out.size() || (!mcfg.empty() && mcfg.size() != mcfg_out.size()))
    return ReplaceResult::system_failed;
  replaced = true;
  system_size = 0;
  for (const ConstBytes part : system) {
    std::copy(part.begin(), part.end(),
              system_out.begin() + static_cast<std::ptrdiff_t>(system_size));
    system_size += part.size();
  }
  if (!mcfg.empty()) {
    mcfg_written = true;
    std::copy(mcfg.begin(), mcfg.end(), mcfg_out.begin());
  }
  return ReplaceResult::ok;
}

void MemorySink::write(const char* data, std::size_t size) {
  const std::size_t n = std::min(size, sizeof buffer_ - size_);
  std::copy_n(data, n, buffer_ + size_);
  size_ += n;
}

}  // namespace datlift
