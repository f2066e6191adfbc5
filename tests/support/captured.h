// SPDX-License-Identifier: MIT
// What a test's run prints, kept whole for the test to read.
#pragma once

#include <string>

#include "common/console.h"

namespace datlift::test {

class Captured final : public OutputSink {
 public:
  void write(const char* data, std::size_t size) override {
    text_.append(data, size);
    ++writes;
  }
  const std::string& text() const { return text_; }
  int writes = 0;  // a line that goes out in one write never mixes with another process's

 private:
  std::string text_;
};

}  // namespace datlift::test
