// SPDX-License-Identifier: MIT
#include "inspect/writer.h"

#include <cstdio>

#include "common/text.h"

namespace datlift::inspect {
namespace {

void hex_escape(Writer& w, const char* prefix, const char* digits, std::uint8_t b) {
  w.put(prefix);
  w.put(digits[b >> 4]);
  w.put(digits[b & 15]);
}

}  // namespace

void Writer::put(const char* text, std::size_t size) {
  for (std::size_t i = 0; i < size; ++i) {
    if (used_ == sizeof buffer_) flush();
    buffer_[used_++] = text[i];
  }
}

void Writer::number(std::uint64_t n) {
  char room[kMaxDecimalDigits];
  const char* digits = decimal_digits(n, room);
  put(digits, static_cast<std::size_t>(room + kMaxDecimalDigits - digits));
}

void Writer::integer(std::int64_t n) {
  if (n < 0) put('-');
  number(n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n));
}

void Writer::real(double d) {
  char text[64];
  const int n = std::snprintf(text, sizeof text, "%.17g", d);
  put(text, static_cast<std::size_t>(n));
}

void Writer::plain(ConstBytes bytes) {
  for (const std::uint8_t b : bytes) {
    if (b >= 0x20 && b < 0x7F)
      put(static_cast<char>(b));
    else
      hex_escape(*this, "\\x", "0123456789ABCDEF", b);
  }
}

void Writer::json(ConstBytes bytes) {
  put('"');
  for (const std::uint8_t b : bytes) {
    if (b == '"' || b == '\\') {
      put('\\');
      put(static_cast<char>(b));
    } else if (b < 0x20 || b == 0x7F) {
      hex_escape(*this, "\\u00", "0123456789abcdef", b);
    } else if (b < 0x80) {
      put(static_cast<char>(b));
    } else {
      put(static_cast<char>(0xC0 | (b >> 6)));
      put(static_cast<char>(0x80 | (b & 0x3F)));
    }
  }
  put('"');
}

void Writer::json(const char* text) {
  json(bytes_of(text));
}

void Writer::flush() {
  if (used_ > 0) sink_.write(buffer_, used_);
  used_ = 0;
}

}  // namespace datlift::inspect
