// SPDX-License-Identifier: MIT
// Version values (2.50) and version numbers (250, the value in hundredths).
#pragma once

#include <cstdint>

namespace datlift {

// The value times 100, plus 0.005, truncated toward zero; saturated into the 32-bit signed range,
// and 0 for a NaN.
std::int32_t version_number(double value);

// A decimal text converted as the C library's strtod converts it: leading white space skipped,
// the longest numeric prefix taken, 0 when there is none.
double version_value(const char* text);

// The version number that a version token of an identification string names ("V2.10": 210);
// false where the token does not begin with V.
bool token_version_number(const char* token, std::int32_t& number);

// A version number of a layout as messages show it: 171 as "1.71".
struct VersionText {
  char text[8];
};
VersionText version_text(int number);

}  // namespace datlift
