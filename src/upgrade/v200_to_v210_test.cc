// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <cstring>

#include "support/step_run.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

using namespace test;

TEST(UpgradeV200ToV210, NameEntriesCarryTheTextAndShiftTheValues) {
  StepRun s;
  plant(s.ws->block(kV200, BlockKind::axis_names), 1);
  plant(s.ws->block(kV210, BlockKind::axis_names), 2);  // stale content must not survive
  const struct {
    std::size_t axis;
    std::vector<std::uint8_t> field;    // 11 bytes of the V2.00 name field
    std::vector<std::uint8_t> carried;  // 12 bytes of the V2.10 name field
  } cases[] = {
      {0, {'X', 0, 9, 8, 7, 6, 5, 4, 3, 2, 1}, {'X', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}},
      {1, test::bytes_of("AXIS-NAME1") + std::vector<std::uint8_t>{0},
       test::bytes_of("AXIS-NAME1") + std::vector<std::uint8_t>{0, 0}},
      {2, {0, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J'}, std::vector<std::uint8_t>(12, 0)},
      // No NUL in the 11 bytes: all of them are the text.
      {17, test::bytes_of("ELEVENBYTES"),
       test::bytes_of("ELEVENBYTES") + std::vector<std::uint8_t>{0}},
  };
  for (const auto& c : cases)
    std::copy(c.field.begin(), c.field.end(),
              s.ws->block(kV200, BlockKind::axis_names).begin() + 39 * c.axis);
  const auto names_before = copy_of(s.ws->block(kV200, BlockKind::axis_names));
  s.run(upgrade_v200_to_v210, Model::plx_8, Model::plx_8);
  for (const auto& c : cases) {
    EXPECT_EQ(slice(s.ws->block(kV210, BlockKind::axis_names), 40 * c.axis, 12), c.carried)
        << c.axis;
    EXPECT_EQ(slice(s.ws->block(kV210, BlockKind::axis_names), 40 * c.axis + 12, 28),
              slice(names_before, 39 * c.axis + 11, 28))
        << c.axis;
  }
  EXPECT_EQ(copy_of(s.ws->block(kV200, BlockKind::axis_names)),
            names_before);  // the V2.00 instance is left as it was
}

TEST(UpgradeV200ToV210, GeneralRecordAndAxisTables) {
  for (bool terminated : {true, false}) {
    StepRun s;
    plant(s.ws->block(kV200, BlockKind::general), 3);
    plant(s.ws->block(kV200, BlockKind::table_a), 4);
    plant(s.ws->block(kV200, BlockKind::table_b), 5);
    plant(s.ws->block(kV210, BlockKind::table_b), 6);
    plant(s.ws->block(kV200, BlockKind::axis_records), 7);
    if (terminated) std::memcpy(s.ws->block(kV200, BlockKind::general).data(), "GEN\0XYZW", 8);
    const Snapshot before(*s.ws);
    s.run(upgrade_v200_to_v210, Model::plx_8, Model::plx_8);

    std::vector<std::uint8_t> text(12, 0);
    const std::size_t length = terminated ? 3 : 9;
    std::copy_n(before.block(kV200, BlockKind::general).begin(), length, text.begin());
    EXPECT_EQ(slice(s.ws->block(kV210, BlockKind::general), 0, 12), text);
    EXPECT_EQ(slice(s.ws->block(kV210, BlockKind::general), 12, 16),
              slice(before.block(kV200, BlockKind::general), 9, 16));

    EXPECT_EQ(copy_of(s.ws->block(kV210, BlockKind::table_a)),
              before.block(kV200, BlockKind::table_a));
    EXPECT_EQ(copy_of(s.ws->block(kV200, BlockKind::axis_records)),
              before.block(kV200, BlockKind::axis_records));
    for (std::size_t axis : {0u, 17u}) {
      const auto row = record(s.ws->block(kV210, BlockKind::table_b), 128, axis);
      EXPECT_EQ(slice(row, 0, 36), slice(before.block(kV200, BlockKind::table_b), 72 * axis, 36));
      EXPECT_EQ(slice(row, 36, 28), std::vector<std::uint8_t>(28, 0));
      EXPECT_EQ(slice(row, 64, 36),
                slice(before.block(kV200, BlockKind::table_b), 72 * axis + 36, 36));
      EXPECT_EQ(slice(row, 100, 28), std::vector<std::uint8_t>(28, 0));
    }
  }
}

// Every selected model gets "SYSFILE <model> V2.10"; the bytes behind its NUL keep what they held.
TEST(UpgradeV200ToV210, IdentificationStringForEverySelectedModel) {
  const struct {
    Model selected;
    const char* ident;
  } cases[] = {
      {Model::plx_8, "SYSFILE PLX-8 V2.10"},       {Model::plx_4k, "SYSFILE PLX-4K V2.10"},
      {Model::plx_8200, "SYSFILE PLX-8200 V2.10"}, {Model::plx_4200, "SYSFILE PLX-4200 V2.10"},
      {Model::plx_4300, "SYSFILE PLX-4300 V2.10"}, {Model::plx_4500, "SYSFILE PLX-4500 V2.10"},
  };
  for (const auto& c : cases) {
    StepRun s;
    plant(s.ws->headers.short_form, 8);
    std::memcpy(s.ws->headers.short_form.data() + 30, "SYSFILE PLX-8200 V2.00", 23);
    const Snapshot before(*s.ws);
    const std::string line = s.run(upgrade_v200_to_v210, Model::plx_8200, c.selected);
    EXPECT_EQ(line, std::string("Conversion from PLX-8200 V2.00 --> ") + model_code(c.selected) +
                        " V2.10\n");
    std::vector<std::uint8_t> header(before.headers.short_form.begin(),
                                     before.headers.short_form.end());
    header[4] = 0;
    header[17] = 0;
    std::memcpy(header.data() + 30, c.ident, std::strlen(c.ident) + 1);
    EXPECT_EQ(slice(s.ws->headers.short_form, 0, 128), header) << c.ident;
  }
  // PLX-8 over the longer PLX-8200 string: its last three bytes ("00" and the NUL) stay behind.
  StepRun s;
  std::memcpy(s.ws->headers.short_form.data() + 30, "SYSFILE PLX-8200 V2.00", 23);
  s.run(upgrade_v200_to_v210, Model::plx_8200, Model::plx_8);
  EXPECT_EQ(slice(s.ws->headers.short_form, 30, 23),
            test::bytes_of(std::string("SYSFILE PLX-8 V2.10\0"
                                       "00\0",
                                       23)));
}

}  // namespace
}  // namespace datlift
