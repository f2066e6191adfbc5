// SPDX-License-Identifier: MIT
#pragma once

#include <cstddef>

#include "common/bytes.h"

namespace datlift {

// The open SYSTEM.DAT, read front to back. read() fills dst as far as the file allows and returns
// the number of bytes it placed; fewer than dst.size() means the file ends there (or cannot be
// read further, which the run treats alike).
class InputStream {
 public:
  virtual std::size_t read(Bytes dst) = 0;

 protected:
  ~InputStream() = default;
};

}  // namespace datlift
