// SPDX-License-Identifier: MIT
// What is printed, kept in memory as far as there is room: the output of runs in memory.
#pragma once

#include <algorithm>
#include <cstddef>
#include <span>
#include <string_view>

#include "common/console.h"

namespace datlift {

class TextSink final : public OutputSink {
 public:
  explicit TextSink(std::span<char> room) : room_(room) {}
  void write(const char* data, std::size_t size) override {
    const std::size_t n = std::min(size, room_.size() - size_);
    std::copy_n(data, n, room_.begin() + static_cast<std::ptrdiff_t>(size_));
    size_ += n;
  }
  std::string_view text() const { return {room_.data(), size_}; }

 private:
  std::span<char> room_;
  std::size_t size_ = 0;
};

// A sink that keeps nothing: explanations that no one reads.
class Discard final : public OutputSink {
 public:
  void write(const char*, std::size_t) override {}
};

}  // namespace datlift
