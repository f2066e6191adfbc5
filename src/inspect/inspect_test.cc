// SPDX-License-Identifier: MIT
#include "inspect/inspect.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mcfg/mcfg_block.h"

namespace datlift::inspect {
namespace {

// A byte of no field is reported by its offset; a changed field makes the block no default.
TEST(InspectMcfg, StrayBytesAndChangedFields) {
  const struct {
    std::size_t offset;
    std::uint8_t value;
    bool stray;
  } cases[] = {{12, 1, true}, {96, 0xFF, true}, {459, 7, true}, {0, 3, false}, {220, 'X', false}};
  for (const auto& c : cases) {
    ByteArray<kMcfgSize> bytes = mcfg_default_image();
    bytes[c.offset] = c.value;
    auto report = std::make_unique<McfgReport>();
    inspect_mcfg(bytes, kMcfgSize, *report);
    EXPECT_TRUE(report->whole);
    EXPECT_FALSE(report->is_default) << c.offset;
    ASSERT_EQ(report->stray_count, c.stray ? 1u : 0u) << c.offset;
    if (c.stray) {
      EXPECT_EQ(report->stray[0], c.offset);
    }
  }
  auto report = std::make_unique<McfgReport>();
  inspect_mcfg(ConstBytes(mcfg_default_image()).first(459), 459, *report);
  EXPECT_FALSE(report->whole);
}

TEST(InspectMcfg, FieldsReadAsTheirTypes) {
  ByteArray<kMcfgSize> bytes = mcfg_default_image();
  bytes[0] = 0xFE;  // integer 1: -2
  for (std::size_t i = 1; i < 4; ++i) bytes[i] = 0xFF;
  const ConstBytes block(bytes);
  EXPECT_EQ(mcfg_int(block, kMcfgFields[0]), -2);
  EXPECT_EQ(mcfg_double(block, kMcfgFields[1]), 1.0);  // value 1 at 4, not 8-aligned
  const ConstBytes slot = mcfg_text(block, kMcfgFields[22]);
  EXPECT_EQ(std::string(slot.begin(), slot.end()), "BLACK");
}

}  // namespace
}  // namespace datlift::inspect
