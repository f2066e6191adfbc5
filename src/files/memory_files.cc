// SPDX-License-Identifier: MIT
#include "files/memory_files.h"

#include <algorithm>

namespace datlift {

// Nothing else reaches the bytes in memory.
LockResult MemoryFiles::lock_system() {
  return LockResult::locked;
}

InputStream* MemoryFiles::open_input() {
  if (!present) return nullptr;
  input_open = true;
  return &input_;
}

void MemoryFiles::close_input() {
  input_open = false;
}

std::size_t MemoryFiles::Input::read(Bytes dst) {
  const std::size_t n = std::min(files_.source_.size() - files_.bytes_read, dst.size());
  std::copy_n(files_.source_.begin() + static_cast<std::ptrdiff_t>(files_.bytes_read), n,
              dst.begin());
  files_.bytes_read += n;
  return n;
}

ReplaceResult MemoryFiles::replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) {
  std::size_t size = 0;
  for (const ConstBytes part : system) size += part.size();
  if (sizes_only()) {
    replaced = true;
    system_size_ = size;
    mcfg_size_ = mcfg.size();
    return ReplaceResult::ok;
  }
  if (size > system_out_.size()) return ReplaceResult::system_failed;
  if (mcfg.size() > mcfg_out_.size()) return ReplaceResult::mcfg_failed;
  replaced = true;
  system_size_ = 0;
  for (const ConstBytes part : system) {
    std::copy(part.begin(), part.end(),
              system_out_.begin() + static_cast<std::ptrdiff_t>(system_size_));
    system_size_ += part.size();
  }
  std::copy(mcfg.begin(), mcfg.end(), mcfg_out_.begin());
  mcfg_size_ = mcfg.size();
  return ReplaceResult::ok;
}

}  // namespace datlift
