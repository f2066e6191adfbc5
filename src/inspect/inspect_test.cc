// SPDX-License-Identifier: MIT
#include "inspect/inspect.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "inspect/writer.h"
#include "mcfg/mcfg_block.h"
#include "support/captured.h"
#include "support/sample_image.h"

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
  // Written as the reports write them, down to the least integer.
  test::Captured out;
  {
    Writer w(out);
    w.integer(mcfg_int(block, kMcfgFields[0]));
    w.put(' ');
    w.integer(INT64_MIN);
  }
  EXPECT_EQ(out.text(), "-2 -9223372036854775808");
}

// The map of a file's blocks, by the sample builder's own statement of the layout: where the
// header names a version with one, whole up to where the file ends; else none.
TEST(InspectSystem, BlockMap) {
  const struct {
    const char* version_token;
    std::size_t size;  // 0: whole
    std::size_t spans, whole;
  } cases[] = {{"V2.10", 0, 6, 6}, {"V2.10", 13030, 6, 3}, {"X2.10", 0, 0, 0}, {"V2.20", 0, 0, 0}};
  const auto ends = test::block_offsets(210, false);
  for (const auto& c : cases) {
    test::SampleRecipe recipe;
    recipe.version_token = c.version_token;
    std::vector<std::uint8_t> file = test::build_system_dat(recipe);
    if (c.size != 0) file.resize(c.size);
    auto space = std::make_unique<RunStorage>();
    BlockMap map;
    map_blocks(file, file.size(), *space, map);
    ASSERT_EQ(map.count, c.spans) << c.version_token;
    std::size_t whole = 0;
    for (std::size_t b = 0; b < map.count; ++b) {
      EXPECT_EQ(map.spans[b].offset + map.spans[b].size, ends[b]) << b;
      whole += map.spans[b].whole;
    }
    EXPECT_EQ(whole, c.whole) << c.version_token << " " << c.size;
  }
}

}  // namespace
}  // namespace datlift::inspect
