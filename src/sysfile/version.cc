// SPDX-License-Identifier: MIT
#include "sysfile/version.h"

#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/text.h"

namespace datlift {
namespace {

// The value as a double in memory: rounded to double precision, and opaque to the optimiser, so
// that no compiler fuses the operation that made it with the next one (one rounding instead of
// two, on CPUs with a fused multiply-add) or keeps it in a wider register (x87). The build asks
// for no contraction too; this holds whatever flags a build adds.
double rounded(double value) {
  volatile double stored = value;
  return stored;
}

}  // namespace

// Two IEEE double operations, each rounded on its own, on every CPU: the numbers that decide
// between versions (1.99995 gives 199; fused, 200) come out the same everywhere.
std::int32_t version_number(double value) {
  const double hundredths = rounded(rounded(value * 100.0) + 0.005);
  if (std::isnan(hundredths)) return 0;
  constexpr double kMax = static_cast<double>(std::numeric_limits<std::int32_t>::max());
  constexpr double kMin = static_cast<double>(std::numeric_limits<std::int32_t>::min());
  if (hundredths >= kMax) return std::numeric_limits<std::int32_t>::max();
  if (hundredths <= kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(hundredths);  // truncates toward zero
}

double version_value(const char* text) {
  return std::strtod(text, nullptr);
}

bool token_version_number(const char* token, std::int32_t& number) {
  if (token[0] != 'V') return false;
  number = version_number(version_value(token + 1));
  return true;
}

VersionText version_text(int number) {
  VersionText v{};
  char room[kMaxDecimalDigits];
  const char* units = decimal_digits(static_cast<std::uint64_t>(number / 100), room);
  std::size_t n = 0;
  while (units != room + kMaxDecimalDigits && n < sizeof v.text - 4) v.text[n++] = *units++;
  v.text[n++] = '.';
  v.text[n++] = static_cast<char>('0' + number % 100 / 10);
  v.text[n] = static_cast<char>('0' + number % 10);
  return v;
}

}  // namespace datlift
