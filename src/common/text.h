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

}  // namespace datlift
