// SPDX-License-Identifier: MIT
// Small text helpers of fixed storage: decimal numbers, and comparison without regard to the case
// of letters (ASCII letters only, as the command line's options are compared).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace datlift {

// Room for the decimal digits of any 64-bit number.
constexpr std::size_t kMaxDecimalDigits = 20;

// Writes the decimal digits of n to the end of `room` (at least kMaxDecimalDigits chars) and
// returns where they begin; they end at room + kMaxDecimalDigits.
constexpr char* decimal_digits(std::uint64_t n, char* room) {
  char* at = room + kMaxDecimalDigits;
  do {
    *--at = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  return at;
}

constexpr char fold_case(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// Whether text begins with prefix, ignoring the case of letters.
constexpr bool starts_with_nocase(const char* text, const char* prefix) {
  for (; *prefix != 0; ++text, ++prefix)
    if (*text == 0 || fold_case(*text) != fold_case(*prefix)) return false;
  return true;
}

constexpr bool equals_nocase(const char* text, const char* other) {
  return starts_with_nocase(text, other) && text[std::strlen(other)] == 0;
}

// The length of the character that begins at `s` where a terminal shows it as it is: a whole
// UTF-8 character that is no control (C0, DEL or C1). 0 where the byte must be shown escaped, as
// it could move the cursor, end a line, begin an escape sequence, or is no character at all.
constexpr std::size_t shown_character(const char* s) {
  const auto at = [s](int i) { return static_cast<unsigned char>(s[i]); };
  const auto follows = [&](int i, unsigned lo, unsigned hi) { return at(i) >= lo && at(i) <= hi; };
  const unsigned b = at(0);
  if (b < 0x20 || b == 0x7F) return 0;
  if (b < 0x80) return 1;
  if (b >= 0xC2 && b <= 0xDF) return follows(1, b == 0xC2 ? 0xA0 : 0x80, 0xBF) ? 2 : 0;
  if (b >= 0xE0 && b <= 0xEF)
    return follows(1, b == 0xE0 ? 0xA0 : 0x80, b == 0xED ? 0x9F : 0xBF) && follows(2, 0x80, 0xBF)
               ? 3
               : 0;
  if (b >= 0xF0 && b <= 0xF4)
    return follows(1, b == 0xF0 ? 0x90 : 0x80, b == 0xF4 ? 0x8F : 0xBF) && follows(2, 0x80, 0xBF) &&
                   follows(3, 0x80, 0xBF)
               ? 4
               : 0;
  return 0;
}

}  // namespace datlift
