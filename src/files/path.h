// SPDX-License-Identifier: MIT
// A path in fixed storage: the run allocates nothing.
#pragma once

#include <cstddef>
#include <cstring>

#include "common/text.h"

namespace datlift {

// Room for a path with its NUL: the longest path that Linux system calls take (PATH_MAX).
constexpr std::size_t kMaxPath = 4096;

#ifdef _WIN32
// Windows takes both; only the backslash in the full names it hands back ("\\?\C:\...").
constexpr char kSeparator[] = "\\";
inline const char* last_separator(const char* path) {
  const char* slash = std::strrchr(path, '/');
  const char* backslash = std::strrchr(path, '\\');
  return slash == nullptr || (backslash != nullptr && backslash > slash) ? backslash : slash;
}
#else
constexpr char kSeparator[] = "/";
inline const char* last_separator(const char* path) {
  return std::strrchr(path, '/');
}
#endif

struct Path {
  char text[kMaxPath];
  std::size_t size;

  const char* c_str() const { return text; }

  // Each is false, and the path unusable, when the result would not fit.
  bool assign(const char* s) {
    size = 0;
    text[0] = 0;
    return append(s);
  }
  bool append(const char* s) {
    const std::size_t n = std::strlen(s);
    if (size + n >= kMaxPath) return false;
    std::memcpy(text + size, s, n + 1);
    size += n;
    return true;
  }
  bool append_number(unsigned long n) {
    char digits[kMaxDecimalDigits + 1] = {};
    return append(decimal_digits(n, digits));
  }
  // The directory part ("." when there is none), and the last component.
  bool assign_directory_of(const char* path) {
    const char* slash = last_separator(path);
    if (slash == nullptr) return assign(".");
    const std::size_t n = slash == path ? 1 : static_cast<std::size_t>(slash - path);
    if (n >= kMaxPath) return false;
    std::memcpy(text, path, n);
    text[n] = 0;
    size = n;
    return true;
  }
};

inline const char* base_name(const char* path) {
  const char* slash = last_separator(path);
  return slash == nullptr ? path : slash + 1;
}

}  // namespace datlift
