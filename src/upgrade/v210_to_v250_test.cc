// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>

#include "support/step_run.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

using namespace test;

// The V2.10 axis record field by field, and where each field goes in V2.50.
const std::vector<FieldGroup> kV210Fields = {
    {6, 8, 0, 0},       // six 8-byte fields
    {1, 4, 48, 512},    // a 4-byte field, behind the four 8-byte fields
    {13, 24, 52, 48},   // thirteen 24-byte fields
    {5, 24, 364, 360},  // five 24-byte elements
    {4, 8, 484, 480},   // four 8-byte fields
    {1, 4, 516, 516},   // raw 4-byte field
    {5, 4, 520, 520},   // five 4-byte fields
    {32, 4, 540, 540},  // array of 32 elements
    {2, 4, 668, 668},   // two 4-byte fields
};                      // 676..679 new, zero

TEST(UpgradeV210ToV250, AxisRecordsAreReLaid) {
  StepRun s;
  plant(s.ws->block(kV200, BlockKind::axis_records), 1);
  plant(s.ws->block(kV250, BlockKind::axis_records), 2);  // stale content must not survive
  EXPECT_EQ(s.run(upgrade_v210_to_v250, Model::plx_4200, Model::plx_4500),
            "Conversion from PLX-4200 V2.10 --> PLX-4500 V2.50\n");
  for (std::size_t axis : {0u, 17u}) {
    const auto old_record = record(s.ws->block(kV200, BlockKind::axis_records), 676, axis);
    const auto new_record = record(s.ws->block(kV250, BlockKind::axis_records), 680, axis);
    EXPECT_EQ(new_record, expected_record(old_record, 680, kV210Fields)) << axis;
    EXPECT_EQ(slice(new_record, 512, 4), slice(old_record, 48, 4));
    EXPECT_EQ(slice(new_record, 48, 4), slice(old_record, 52, 4));
    EXPECT_EQ(slice(new_record, 676, 4), std::vector<std::uint8_t>(4, 0));
  }
}

std::vector<std::uint8_t> text_field(const std::string& text, std::size_t width) {
  std::vector<std::uint8_t> f(width, 0);
  std::copy(text.begin(), text.end(), f.begin());
  return f;
}

// After a short-header input the long header record was never read: it is zero but for what the
// step stores.
TEST(UpgradeV210ToV250, LongHeaderFromAShortHeaderInput) {
  StepRun s;
  plant(s.ws->headers.short_form, 3);
  std::memcpy(s.ws->headers.short_form.data() + 55, "CUSTOMER MACHINE 7", 19);
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  std::vector<std::uint8_t> expected(1024, 0);
  const auto ident = text_field("SYSFILE PLX-8 V2.50", 40);
  std::copy(ident.begin(), ident.end(), expected.begin() + 516);
  const auto text3 = text_field("CUSTOMER MACHINE 7", 32);
  std::copy(text3.begin(), text3.end(), expected.begin() + 556);
  EXPECT_EQ(slice(s.ws->headers.long_form, 0, 1024), expected);
}

// A V2.10 file identified by a long header: what the step does not store stays as read.
TEST(UpgradeV210ToV250, LongHeaderFromALongHeaderInput) {
  StepRun s;
  plant(s.ws->headers.short_form, 4);
  plant(s.ws->headers.long_form, 5);
  std::memcpy(s.ws->headers.short_form.data() + 55, "T3", 3);
  const Snapshot before(*s.ws);
  s.run(upgrade_v210_to_v250, Model::plx_8200, Model::plx_8200);
  std::vector<std::uint8_t> expected(before.headers.long_form.begin(),
                                     before.headers.long_form.end());
  expected[4] = 0;
  expected[260] = 0;
  std::memcpy(expected.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
  std::memcpy(expected.data() + 556, "T3", 3);
  EXPECT_EQ(slice(s.ws->headers.long_form, 0, 1024), expected);
  EXPECT_EQ(s.ws->headers.short_form, before.headers.short_form);
}

TEST(UpgradeV210ToV250, HeaderText3WithoutNulGoesWhole) {
  StepRun s;
  std::memset(s.ws->headers.short_form.data() + 55, 'Q', 26);
  s.ws->headers.short_form[81] = 'R';  // the tail behind it is not part of the text
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  EXPECT_EQ(slice(s.ws->headers.long_form, 556, 32), text_field(std::string(26, 'Q'), 32));
}

TEST(UpgradeV210ToV250, OtherBlocksPassUnchanged) {
  StepRun s;
  plant(s.ws->block(kV210, BlockKind::axis_names), 6);
  plant(s.ws->block(kV210, BlockKind::general), 7);
  plant(s.ws->block(kV210, BlockKind::table_a), 8);
  plant(s.ws->block(kV210, BlockKind::table_b), 9);
  const Snapshot before(*s.ws);
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  EXPECT_EQ(copy_of(s.ws->block(kV210, BlockKind::axis_names)),
            before.block(kV210, BlockKind::axis_names));
  EXPECT_EQ(copy_of(s.ws->block(kV210, BlockKind::general)),
            before.block(kV210, BlockKind::general));
  EXPECT_EQ(copy_of(s.ws->block(kV210, BlockKind::table_a)),
            before.block(kV210, BlockKind::table_a));
  EXPECT_EQ(copy_of(s.ws->block(kV210, BlockKind::table_b)),
            before.block(kV210, BlockKind::table_b));
}

TEST(RefreshV250, RewritesOnlyTheHeaderFieldsAndNames) {
  const struct {
    Model selected;
    const char* ident;
  } cases[] = {
      {Model::plx_8, "SYSFILE PLX-8 V2.50"},       {Model::plx_4k, "SYSFILE PLX-4K V2.50"},
      {Model::plx_8200, "SYSFILE PLX-8200 V2.50"}, {Model::plx_4200, "SYSFILE PLX-4200 V2.50"},
      {Model::plx_4300, "SYSFILE PLX-4300 V2.50"}, {Model::plx_4500, "SYSFILE PLX-4500 V2.50"},
  };
  for (const auto& c : cases) {
    StepRun s;
    unsigned salt = 0;
    for (const Version& v : kVersions)
      for (const Bytes block : s.ws->blocks(v.number)) plant(block, ++salt);
    plant(s.ws->headers.short_form, ++salt);
    std::memcpy(s.ws->headers.long_form.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
    const Snapshot before(*s.ws);
    EXPECT_EQ(
        s.run(refresh_v250, Model::plx_8200, c.selected),
        std::string("Conversion from PLX-8200 V2.50 --> ") + model_code(c.selected) + " V2.50\n");
    std::vector<std::uint8_t> header(before.headers.long_form.begin(),
                                     before.headers.long_form.end());
    header[4] = 0;
    header[260] = 0;
    std::memcpy(header.data() + 516, c.ident, std::strlen(c.ident) + 1);
    EXPECT_EQ(slice(s.ws->headers.long_form, 0, 1024), header) << c.ident;
    for (const Version& v : kVersions)
      for (std::size_t k = 0; k < kBlockKinds; ++k)
        EXPECT_EQ(copy_of(s.ws->block(v.number, static_cast<BlockKind>(k))),
                  before.block(v.number, static_cast<BlockKind>(k)))
            << v.text << " block " << k;
    EXPECT_TRUE(s.ws->headers.short_form == before.headers.short_form);
  }
  // PLX-8 over "SYSFILE PLX-8200 V2.50": "50" and the old NUL remain behind the new NUL.
  StepRun s;
  std::memcpy(s.ws->headers.long_form.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
  s.run(refresh_v250, Model::plx_8200, Model::plx_8);
  EXPECT_EQ(slice(s.ws->headers.long_form, 516, 23),
            test::bytes_of(std::string("SYSFILE PLX-8 V2.50\0"
                                       "50\0",
                                       23)));
}

TEST(ApplyNameOverrides, NamesGoToTheFirstEntriesInOrder) {
  for (std::size_t count : {0u, 3u, 18u}) {
    StepRun s;
    plant(s.ws->block(kV210, BlockKind::axis_names), 10);
    for (std::size_t k = 0; k < 18; ++k)
      std::memcpy(s.ws->block(kV210, BlockKind::axis_names).data() + 40 * k, "ABCDEFG", 8);
    for (std::size_t i = 0; i < count; ++i)
      s.name(i, i == 0 ? "X" : i == 1 ? "ELEVENCHARS" : std::string(1, 'N') += std::to_string(i));
    const Snapshot before(*s.ws);
    s.run(refresh_v250, Model::plx_8, Model::plx_8);
    for (std::size_t k = 0; k < 18; ++k) {
      std::vector<std::uint8_t> entry = record(before.block(kV210, BlockKind::axis_names), 40, k);
      if (k < count) {
        const std::string name = s.names.slots[k].data();
        std::memcpy(entry.data(), name.c_str(), name.size() + 1);
      }
      EXPECT_EQ(record(s.ws->block(kV210, BlockKind::axis_names), 40, k), entry)
          << count << " names, entry " << k;
    }
    if (count > 0) {
      EXPECT_EQ(slice(s.ws->block(kV210, BlockKind::axis_names), 0, 12),
                test::bytes_of(std::string("X\0CDEFG\0", 8)) +
                    slice(before.block(kV210, BlockKind::axis_names), 8, 4));
    }
  }
}

}  // namespace
}  // namespace datlift
