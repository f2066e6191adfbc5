// SPDX-License-Identifier: MIT
// What the fuzz targets share: their input, one byte n, then n bytes of arguments separated by
// newlines, then the file's bytes (an empty input stands for a missing file); and the check of an
// invariant, which ends the run so that the fuzzer keeps the input.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "common/bytes.h"

namespace datlift {

inline void require(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

struct FuzzInput {
  char args[256][256];
  const char* argv[256];
  int argc = 0;
  ConstBytes file;
  bool present = false;

  void split(const std::uint8_t* data, std::size_t size) {
    const std::size_t args_size = size == 0 ? 0 : std::min<std::size_t>(data[0], size - 1);
    const std::uint8_t* text = data + (size == 0 ? 0 : 1);
    argc = 0;
    std::size_t length = 0;
    for (std::size_t i = 0; i <= args_size && argc < 256; ++i) {
      if (i == args_size || text[i] == '\n') {
        if (i > 0 || args_size > 0) {
          args[argc][length] = 0;
          argv[argc] = args[argc];
          ++argc;
        }
        length = 0;
      } else if (length < 255) {
        // A NUL cannot stand in an argument: it ends it.
        args[argc][length++] = text[i] == 0 ? '\n' : static_cast<char>(text[i]);
      }
    }
    const std::size_t header = size == 0 ? 0 : 1 + args_size;
    file = ConstBytes(data + header, size - header);
    present = size != 0;
  }
};

}  // namespace datlift
