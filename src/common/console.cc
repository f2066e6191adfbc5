// SPDX-License-Identifier: MIT
#include "common/console.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <initializer_list>

#include "common/text.h"

namespace datlift {
namespace {

// The longest message with a number in fixed point is a version value with at most 309 digits
// before its point; messages of texts only may be longer (they go out in pieces).
constexpr std::size_t kMaxMessage = 2048;

constexpr char kHexDigits[] = "0123456789ABCDEF";

// Whether every conversion of a format is "%s" or "%i", which format_plain handles.
bool is_plain(const char* format) {
  for (const char* p = std::strchr(format, '%'); p != nullptr; p = std::strchr(p + 2, '%'))
    if (p[1] != 's' && p[1] != 'i') return false;
  return true;
}

// Formats "%s" and "%i" as printf does, without the cost of the general machinery. A message
// longer than the room (paths may be) goes out in pieces: never cut.
std::size_t format_plain(char* out, const char* format, va_list args, OutputSink& sink,
                         Texts texts) {
  std::size_t n = 0;
  auto put = [&](char c) {
    if (n == kMaxMessage) {
      sink.write(out, n);
      n = 0;
    }
    out[n++] = c;
  };
  for (const char* p = format; *p != 0; ++p) {
    if (*p != '%') {
      put(*p);
    } else if (*++p == 's') {
      for (const char* s = va_arg(args, const char*); *s != 0;) {
        std::size_t n = texts == Texts::escaped ? shown_character(s) : 1;
        if (n == 0) {
          const unsigned char b = static_cast<unsigned char>(*s++);
          for (const char c : {'\\', 'x', kHexDigits[b >> 4], kHexDigits[b & 15]}) put(c);
        }
        for (; n > 0; --n) put(*s++);
      }
    } else {
      const int value = va_arg(args, int);
      const unsigned magnitude =
          value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
      char room[kMaxDecimalDigits];
      if (value < 0) put('-');
      for (const char* d = decimal_digits(magnitude, room); d != room + kMaxDecimalDigits; ++d)
        put(*d);
    }
  }
  return n;
}

}  // namespace

void Console::print(const char* format, ...) {
  char text[kMaxMessage];
  va_list args;
  va_start(args, format);
  std::size_t size = 0;
  if (is_plain(format)) {
    size = format_plain(text, format, args, sink_, texts_);
  } else {
    const int length = std::vsnprintf(text, sizeof text, format, args);
    if (length > 0)
      size = static_cast<std::size_t>(length) < sizeof text ? static_cast<std::size_t>(length)
                                                            : sizeof text - 1;
  }
  va_end(args);
  if (size > 0) sink_.write(text, size);
}

}  // namespace datlift
