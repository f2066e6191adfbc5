// SPDX-License-Identifier: MIT
// The options of --run: one argument, split at its spaces into datlift's argument list, in fixed
// storage.
#pragma once

#include <cstddef>
#include <cstring>

namespace datlift::inspect {

struct RunArgs {
  static constexpr std::size_t kMaxArgs = 64;
  static constexpr std::size_t kMaxText = 4096;

  bool given = false;
  char text[kMaxText];
  const char* argv[kMaxArgs];
  int argc = 0;

  // False where there are too many options, or they are too long.
  [[nodiscard]] bool split(const char* args) {
    given = true;
    const std::size_t length = std::strlen(args);
    if (length >= sizeof text) return false;
    std::memcpy(text, args, length + 1);
    for (char* p = text; *p != 0;) {
      while (*p == ' ') *p++ = 0;
      if (*p == 0) break;
      if (argc == static_cast<int>(kMaxArgs)) return false;
      argv[argc++] = p;
      while (*p != 0 && *p != ' ') ++p;
    }
    return true;
  }
};

}  // namespace datlift::inspect
