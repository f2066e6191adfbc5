// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>

#include "support/step_run.h"
#include "upgrade/upgrade.h"

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
  plant(s.ws->axis_records_676, 1);
  plant(s.ws->axis_records_680, 2);  // stale content must not survive
  EXPECT_EQ(s.run(upgrade_v210_to_v250, Model::plx_4200, Model::plx_4500),
            "Conversion from PLX-4200 V2.10 --> PLX-4500 V2.50\n");
  for (std::size_t axis : {0u, 17u}) {
    const auto old_record = record(s.ws->axis_records_676, 676, axis);
    const auto new_record = record(s.ws->axis_records_680, 680, axis);
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
  plant(s.ws->short_header, 3);
  std::memcpy(s.ws->short_header.data() + 55, "CUSTOMER MACHINE 7", 19);
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  std::vector<std::uint8_t> expected(1024, 0);
  const auto ident = text_field("SYSFILE PLX-8 V2.50", 40);
  std::copy(ident.begin(), ident.end(), expected.begin() + 516);
  const auto text3 = text_field("CUSTOMER MACHINE 7", 32);
  std::copy(text3.begin(), text3.end(), expected.begin() + 556);
  EXPECT_EQ(slice(s.ws->long_header, 0, 1024), expected);
}

// A V2.10 file identified by a long header: what the step does not store stays as read.
TEST(UpgradeV210ToV250, LongHeaderFromALongHeaderInput) {
  StepRun s;
  plant(s.ws->short_header, 4);
  plant(s.ws->long_header, 5);
  std::memcpy(s.ws->short_header.data() + 55, "T3", 3);
  const WorkingSet before = *s.ws;
  s.run(upgrade_v210_to_v250, Model::plx_8200, Model::plx_8200);
  std::vector<std::uint8_t> expected(before.long_header.begin(), before.long_header.end());
  expected[4] = 0;
  expected[260] = 0;
  std::memcpy(expected.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
  std::memcpy(expected.data() + 556, "T3", 3);
  EXPECT_EQ(slice(s.ws->long_header, 0, 1024), expected);
  EXPECT_EQ(s.ws->short_header, before.short_header);
}

TEST(UpgradeV210ToV250, HeaderText3WithoutNulGoesWhole) {
  StepRun s;
  std::memset(s.ws->short_header.data() + 55, 'Q', 26);
  s.ws->short_header[81] = 'R';  // the tail behind it is not part of the text
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  EXPECT_EQ(slice(s.ws->long_header, 556, 32), text_field(std::string(26, 'Q'), 32));
}

TEST(UpgradeV210ToV250, OtherBlocksPassUnchanged) {
  StepRun s;
  plant(s.ws->names_40, 6);
  plant(s.ws->general_28, 7);
  plant(s.ws->table_a_32_v210, 8);
  plant(s.ws->table_b_16, 9);
  const WorkingSet before = *s.ws;
  s.run(upgrade_v210_to_v250, Model::plx_8, Model::plx_8);
  EXPECT_EQ(s.ws->names_40, before.names_40);
  EXPECT_EQ(s.ws->general_28, before.general_28);
  EXPECT_EQ(s.ws->table_a_32_v210, before.table_a_32_v210);
  EXPECT_EQ(s.ws->table_b_16, before.table_b_16);
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
    for (int id = 0; id <= static_cast<int>(Instance::table_b_16); ++id)
      plant(s.ws->instance(static_cast<Instance>(id)), static_cast<unsigned>(id));
    std::memcpy(s.ws->long_header.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
    const WorkingSet before = *s.ws;
    EXPECT_EQ(
        s.run(refresh_v250, Model::plx_8200, c.selected),
        std::string("Conversion from PLX-8200 V2.50 --> ") + model_code(c.selected) + " V2.50\n");
    std::vector<std::uint8_t> header(before.long_header.begin(), before.long_header.end());
    header[4] = 0;
    header[260] = 0;
    std::memcpy(header.data() + 516, c.ident, std::strlen(c.ident) + 1);
    EXPECT_EQ(slice(s.ws->long_header, 0, 1024), header) << c.ident;
    for (int id = 0; id <= static_cast<int>(Instance::table_b_16); ++id) {
      if (id == static_cast<int>(Instance::long_header)) continue;
      const ConstBytes now = s.ws->instance(static_cast<Instance>(id));
      const ConstBytes was = const_cast<WorkingSet&>(before).instance(static_cast<Instance>(id));
      EXPECT_TRUE(std::equal(now.begin(), now.end(), was.begin())) << id;
    }
  }
  // PLX-8 over "SYSFILE PLX-8200 V2.50": "50" and the old NUL remain behind the new NUL.
  StepRun s;
  std::memcpy(s.ws->long_header.data() + 516, "SYSFILE PLX-8200 V2.50", 23);
  s.run(refresh_v250, Model::plx_8200, Model::plx_8);
  EXPECT_EQ(slice(s.ws->long_header, 516, 23), test::bytes_of(std::string("SYSFILE PLX-8 V2.50\0"
                                                                          "50\0",
                                                                          23)));
}

TEST(ApplyNameOverrides, NamesGoToTheFirstEntriesInOrder) {
  for (std::size_t count : {0u, 3u, 18u}) {
    StepRun s;
    plant(s.ws->names_40, 10);
    for (std::size_t k = 0; k < 18; ++k) std::memcpy(s.ws->names_40.data() + 40 * k, "ABCDEFG", 8);
    for (std::size_t i = 0; i < count; ++i)
      s.name(i, i == 0 ? "X" : i == 1 ? "ELEVENCHARS" : std::string(1, 'N') += std::to_string(i));
    const WorkingSet before = *s.ws;
    s.run(refresh_v250, Model::plx_8, Model::plx_8);
    for (std::size_t k = 0; k < 18; ++k) {
      std::vector<std::uint8_t> entry = record(before.names_40, 40, k);
      if (k < count) {
        const std::string name = s.names.slots[k].data();
        std::memcpy(entry.data(), name.c_str(), name.size() + 1);
      }
      EXPECT_EQ(record(s.ws->names_40, 40, k), entry) << count << " names, entry " << k;
    }
    if (count > 0) {
      EXPECT_EQ(slice(s.ws->names_40, 0, 12),
                test::bytes_of(std::string("X\0CDEFG\0", 8)) + slice(before.names_40, 8, 4));
    }
  }
}

}  // namespace
}  // namespace datlift
