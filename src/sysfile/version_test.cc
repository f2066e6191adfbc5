// SPDX-License-Identifier: MIT
#include "sysfile/version.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace datlift {
namespace {

TEST(VersionNumber, HundredthsRoundedByHalfAHundredthAndTruncated) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();
  // The last three, fused into one multiply-add that rounds once, would give the next number.
  const struct {
    double value;
    std::int32_t number;
  } cases[] = {
      {2.5, 250},          {2.50, 250},       {2.1, 210},     {1.71, 171},
      {2.0, 200},          {0.0, 0},          {2.99999, 300}, {2.999, 299},
      {2.0049, 200},       {-1.0, -99},       {3.0, 300},     {21474836.46, 2147483646},
      {21474836.48, kMax}, {1e300, kMax},     {-1e300, kMin}, {HUGE_VAL, kMax},
      {-HUGE_VAL, kMin},   {std::nan(""), 0}, {1.99995, 199}, {1.74995, 174},
      {1.03995, 103},
  };
  for (const auto& c : cases) EXPECT_EQ(version_number(c.value), c.number) << c.value;
}

TEST(VersionValue, ConvertedAsStrtodDoes) {
  const struct {
    const char* text;
    double value;
  } cases[] = {
      {"2.10", 2.10}, {"  2.5xyz", 2.5}, {"", 0.0},      {"abc", 0.0},
      {"0x1p1", 2.0}, {"+3", 3.0},       {"-1.5", -1.5}, {"2,50", 2.0},
  };
  for (const auto& c : cases) EXPECT_EQ(version_value(c.text), c.value) << c.text;
  EXPECT_TRUE(std::isinf(version_value("inf")));
  EXPECT_EQ(version_number(version_value("nan")), 0);
}

}  // namespace
}  // namespace datlift
