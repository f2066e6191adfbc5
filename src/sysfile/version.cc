// SPDX-License-Identifier: MIT
#include "sysfile/version.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace datlift {

std::int32_t version_number(double value) {
  const double hundredths = value * 100.0 + 0.005;
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

}  // namespace datlift
