// SPDX-License-Identifier: MIT
#include "mcfg/mcfg_block.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace datlift {
namespace {

// The default image, stated as the bytes it must hold.
TEST(McfgDefaults, ImageHoldsItsByteImage) {
  McfgBlock block;
  fill_mcfg_defaults(block);
  const auto& b = block.bytes;
  EXPECT_TRUE(block.filled);
  EXPECT_EQ(std::count_if(b.begin(), b.end(), [](std::uint8_t x) { return x != 0; }), 62);

  const std::vector<std::uint8_t> one{0, 0, 0, 0, 0, 0, 0xF0, 0x3F};
  const std::vector<std::uint8_t> thousand{0, 0, 0, 0, 0, 0x40, 0x8F, 0x40};
  const std::vector<std::uint8_t> hundred{0, 0, 0, 0, 0, 0, 0x59, 0x40};
  const std::vector<std::uint8_t> ten{0, 0, 0, 0, 0, 0, 0x24, 0x40};
  const std::vector<std::uint8_t> int_one{1, 0, 0, 0};
  auto text16 = [](const char* s) {
    std::vector<std::uint8_t> v(16, 0);
    std::memcpy(v.data(), s, std::strlen(s));
    return v;
  };
  const struct {
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
  } fields[] = {
      {4, one},
      {28, one},
      {76, thousand},
      {132, one},
      {172, thousand},
      {212, hundred},
      {220, text16("BLACK")},
      {236, text16("LBLUE")},
      {252, text16("WHITE")},
      {268, int_one},
      {272, text16("LGREEN")},
      {288, int_one},
      {292, text16("WHITE")},
      {308, int_one},
      {312, text16("LBLUE")},
      {328, int_one},
      {332, text16("LRED")},
      {348, ten},
      {356, one},
      {392, one},
      {416, one},
      {444, int_one},
  };
  std::size_t nonzero = 0;
  for (const auto& f : fields) {
    EXPECT_TRUE(std::equal(f.bytes.begin(), f.bytes.end(), b.begin() + f.offset)) << f.offset;
    nonzero += static_cast<std::size_t>(
        std::count_if(f.bytes.begin(), f.bytes.end(), [](std::uint8_t x) { return x != 0; }));
  }
  EXPECT_EQ(nonzero, 62u);  // so every other byte is zero

  const McfgBlock first = block;
  fill_mcfg_defaults(block);
  EXPECT_EQ(block.bytes, first.bytes);
}

TEST(McfgDefaults, FillingOverwritesWhateverTheBlockHeld) {
  McfgBlock dirty;
  dirty.bytes.fill(0xAB);
  McfgBlock clean;
  fill_mcfg_defaults(dirty);
  fill_mcfg_defaults(clean);
  EXPECT_EQ(dirty.bytes, clean.bytes);
}

}  // namespace
}  // namespace datlift
