// SPDX-License-Identifier: MIT
// What a test's run prints, kept whole for the test to read.
#pragma once

#include <string>

#include "common/console.h"

namespace datlift::test {

class Captured final : public OutputSink {
 public:
  void write(const char* data, std::size_t size) override { text_.append(data, size); }
  const std::string& text() const { return text_; }

 private:
  std::string text_;
};

}  // namespace datlift::test
