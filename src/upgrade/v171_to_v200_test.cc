// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include "support/step_run.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

using namespace test;

// The V1.71 axis record field by field, and where each field goes in V2.00.
const std::vector<FieldGroup> kV171Fields = {
    {6, 8, 0, 0},       // six 8-byte fields
    {1, 4, 48, 48},     // a 4-byte field
    {13, 24, 52, 52},   // thirteen 24-byte fields
    {5, 24, 364, 364},  // five 24-byte elements
    {4, 8, 484, 484},   // four 8-byte fields
    {1, 4, 516, 516},   // raw 4-byte field
    {5, 4, 520, 520},   // five 4-byte fields
    {9, 4, 540, 540},   // array elements 0..8 (9..31 are new, zero)
    {2, 4, 576, 668},   // two 4-byte fields behind the array
};

TEST(UpgradeV171ToV200, AxisRecordsAndTableARowsGrow) {
  StepRun s;
  plant(s.ws->block(kV171, BlockKind::axis_records), 1);
  plant(s.ws->block(kV171, BlockKind::table_a), 2);
  plant(s.ws->block(kV200, BlockKind::axis_records), 3);  // stale content must not survive
  EXPECT_EQ(s.run(upgrade_v171_to_v200, Model::plx_8, Model::plx_8),
            "Conversion from PLX-8 V1.71 --> PLX-8 V2.00\n");
  for (std::size_t axis : {0u, 17u}) {
    const auto old_record = record(s.ws->block(kV171, BlockKind::axis_records), 584, axis);
    EXPECT_EQ(record(s.ws->block(kV200, BlockKind::axis_records), 676, axis),
              expected_record(old_record, 676, kV171Fields))
        << axis;
    std::vector<std::uint8_t> row(128, 0);
    const auto old_row = record(s.ws->block(kV171, BlockKind::table_a), 56, axis);
    std::copy(old_row.begin(), old_row.end(), row.begin());
    EXPECT_EQ(record(s.ws->block(kV200, BlockKind::table_a), 128, axis), row) << axis;
  }
}

TEST(UpgradeV171ToV200, HeaderAndUnchangedBlocks) {
  StepRun s;
  plant(s.ws->headers.short_form, 4);
  plant(s.ws->block(kV200, BlockKind::axis_names), 5);
  plant(s.ws->block(kV200, BlockKind::general), 6);
  plant(s.ws->block(kV200, BlockKind::table_b), 7);
  const Snapshot before(*s.ws);
  s.run(upgrade_v171_to_v200, Model::plx_8, Model::plx_8);
  std::vector<std::uint8_t> header(before.headers.short_form.begin(),
                                   before.headers.short_form.end());
  header[4] = 0;   // header text 1 emptied
  header[17] = 0;  // header text 2 emptied
  const auto ident = test::bytes_of(std::string("SYSFILE PLX-8 V2.00") + '\0');
  std::copy(ident.begin(), ident.end(), header.begin() + 30);
  EXPECT_EQ(slice(s.ws->headers.short_form, 0, 128), header);
  EXPECT_EQ(copy_of(s.ws->block(kV200, BlockKind::axis_names)),
            before.block(kV200, BlockKind::axis_names));
  EXPECT_EQ(copy_of(s.ws->block(kV200, BlockKind::general)),
            before.block(kV200, BlockKind::general));
  EXPECT_EQ(copy_of(s.ws->block(kV200, BlockKind::table_b)),
            before.block(kV200, BlockKind::table_b));
}

}  // namespace
}  // namespace datlift
