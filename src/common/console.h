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

// How the texts that "%s" puts into a message go out: as they are, or (for lines a person reads
// on a terminal, which names and a file's tokens reach) with every byte that a terminal would
// act on as \xHH (see shown_character), so that a message stays one line that says what it says.
enum class Texts { as_they_are, escaped };

class Console {
 public:
  explicit Console(OutputSink& sink, Texts texts = Texts::as_they_are)
      : sink_(sink), texts_(texts) {}
  void print(const char* format, ...) __attribute__((format(printf, 2, 3)));

 private:
  OutputSink& sink_;
  Texts texts_;
};

}  // namespace datlift
