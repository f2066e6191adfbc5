// SPDX-License-Identifier: MIT
#include "common/bytes.h"

#include <gtest/gtest.h>

#include <array>

namespace datlift {
namespace {

TEST(Bytes, FixedWidthValuesAreLittleEndianAtAnyOffset) {
  std::array<std::uint8_t, 13> buf{};
  store_le32(buf, 1, 0x11223344u);
  store_le64(buf, 5, 0x0102030405060708ull);
  const std::array<std::uint8_t, 13> expected{0,    0x44, 0x33, 0x22, 0x11, 0x08, 0x07,
                                              0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
  EXPECT_EQ(buf, expected);
}

TEST(Bytes, TextLengthStopsAtNulOrFieldEnd) {
  const std::array<std::uint8_t, 4> with_nul{'A', 'B', 0, 'C'};
  const std::array<std::uint8_t, 4> without{'A', 'B', 'C', 'D'};
  EXPECT_EQ(text_length(with_nul), 2u);
  EXPECT_EQ(text_length(without), 4u);
}

TEST(Bytes, StoringATextKeepsTheBytesBehindItsNul) {
  std::array<std::uint8_t, 8> f{'A', 'B', 'C', 'D', 'E', 'F', 'G', 0};
  store_text(f, "X");
  const std::array<std::uint8_t, 8> expected{'X', 0, 'C', 'D', 'E', 'F', 'G', 0};
  EXPECT_EQ(f, expected);
  empty_text(f);
  EXPECT_EQ(f[0], 0);
  EXPECT_EQ(f[2], 'C');
}

}  // namespace
}  // namespace datlift
