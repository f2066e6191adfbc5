// SPDX-License-Identifier: MIT
// Everything a run prints goes through a Console: formatted into fixed storage, then handed whole
// to a sink (standard output, or memory in tests). Nothing is buffered between messages, so a
// message is out before the next step of the run begins.
#pragma once

#include <cstddef>

namespace datlift {

class OutputSink {
 public:
  virtual void write(const char* data, std::size_t size) = 0;

 protected:
  ~OutputSink() = default;
};

class Console {
 public:
  explicit Console(OutputSink& sink) : sink_(sink) {}
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  OutputSink& sink_;
};

}  // namespace datlift
