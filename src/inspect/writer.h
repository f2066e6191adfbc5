// SPDX-License-Identifier: MIT
// Everything datlift-inspect prints goes out through one buffer, so that the reports of many
// files cost few writes; with the escapes of its two forms, text for a terminal and JSON.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/bytes.h"
#include "common/console.h"

namespace datlift::inspect {

class Writer {
 public:
  explicit Writer(OutputSink& sink) : sink_(sink) {}
  ~Writer() { flush(); }
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  void put(const char* text, std::size_t size);
  void put(const char* text) { put(text, std::strlen(text)); }
  void put(char c) { put(&c, 1); }
  void number(std::uint64_t n);
  void integer(std::int64_t n);
  // As "%.17g": every double read back as the same double.
  void real(double d);
  // A text's bytes as they are, but a byte no terminal shows as \xNN.
  void plain(ConstBytes bytes);
  // A JSON string; each byte stands for the code point of the same number (Latin-1), so none is
  // lost or refused.
  void json(ConstBytes bytes);
  void json(const char* text);
  void flush();

 private:
  OutputSink& sink_;
  char buffer_[65536];
  std::size_t used_ = 0;
};

// The items of a list, each after a separator but the first, between an opening and a closing
// text: a JSON array ("[", ", ", "]"), or the reports of many files.
class ListFrame {
 public:
  ListFrame(Writer& w, const char* open, const char* separator, const char* close)
      : w_(w), separator_(separator), close_(close) {
    w_.put(open);
  }
  ~ListFrame() { w_.put(close_); }
  ListFrame(const ListFrame&) = delete;
  ListFrame& operator=(const ListFrame&) = delete;

  // Before each item.
  void item() {
    if (!first_) w_.put(separator_);
    first_ = false;
  }

 private:
  Writer& w_;
  const char* separator_;
  const char* close_;
  bool first_ = true;
};

// A JSON array of items on one line.
class JsonArray final {
 public:
  explicit JsonArray(Writer& w) : frame_(w, "[", ", ", "]") {}
  void item() { frame_.item(); }

 private:
  ListFrame frame_;
};

inline ConstBytes bytes_of(const char* text) {
  return ConstBytes(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

}  // namespace datlift::inspect
