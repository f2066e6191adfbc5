#include "common/console.h"

#include <cstdarg>
#include <cstdio>

namespace datlift {

void Console::print(const char* format, ...) {
  // The longest message is the read-in line with two 199-character tokens; a version value
  // printed in fixed point has at most 309 digits before its point.
  char text[2048];
  va_list args;
  va_start(args, format);
  const int length = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (length <= 0) return;
  const std::size_t size = static_cast<std::size_t>(length) < sizeof text
                               ? static_cast<std::size_t>(length)
                               : sizeof text - 1;
  sink_.write(text, size);
}

}  // namespace datlift
