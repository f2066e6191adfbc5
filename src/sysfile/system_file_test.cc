// SPDX-License-Identifier: MIT
#include "sysfile/system_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "run/memory_files.h"
#include "sample/sample_image.h"

namespace datlift {
namespace {

// Each block of a file lands in the working-set instance of its layout, wherever the header
// form puts it.
TEST(ReadSystemBlocks, BlocksLandInTheInstancesOfTheirLayout) {
  const struct {
    int version;
    bool long_header;
    Instance instances[5];
  } cases[] = {
      {171,
       false,
       {Instance::axis_records_584, Instance::names_39, Instance::general_25, Instance::table_a_14,
        Instance::table_b_9}},
      {200,
       true,
       {Instance::axis_records_676, Instance::names_39, Instance::general_25,
        Instance::table_a_32_v200, Instance::table_b_9}},
      {210,
       false,
       {Instance::axis_records_676, Instance::names_40, Instance::general_28,
        Instance::table_a_32_v210, Instance::table_b_16}},
      {250,
       false,
       {Instance::axis_records_680, Instance::names_40, Instance::general_28,
        Instance::table_a_32_v210, Instance::table_b_16}},
  };
  for (const auto& c : cases) {
    sample::SampleRecipe recipe;
    recipe.version = c.version;
    recipe.header = c.long_header ? sample::HeaderForm::long_form : sample::HeaderForm::short_form;
    const auto image = sample::build_system_dat(recipe);
    const auto at = sample::block_offsets(c.version, c.long_header);
    MemoryFiles files(image);
    InputStream& input = *files.open_input();
    std::vector<std::uint8_t> skip(at[0]);
    ASSERT_EQ(input.read(skip), skip.size());
    auto ws = std::make_unique<WorkingSet>();
    ASSERT_EQ(read_system_blocks(input, c.version, *ws), 0);
    for (int b = 0; b < 5; ++b) {
      const ConstBytes got = ws->instance(c.instances[b]);
      ASSERT_EQ(got.size(), at[b + 1] - at[b]) << c.version << " block " << b;
      EXPECT_TRUE(std::equal(got.begin(), got.end(), image.begin() + at[b]))
          << c.version << " block " << b;
    }
  }
}

TEST(WriteSystemFile, ImagesHaveTheirVersionsLayoutAndHeaderTails) {
  auto ws = std::make_unique<WorkingSet>();
  // Distinct content in every instance.
  for (int id = 0; id <= static_cast<int>(Instance::table_b_16); ++id) {
    const Bytes b = ws->instance(static_cast<Instance>(id));
    for (std::size_t i = 0; i < b.size(); ++i) b[i] = static_cast<std::uint8_t>(id * 16 + i % 13);
  }
  const struct {
    int version;
    std::size_t size;
    Instance header;
    std::size_t tail_at;
    Instance tail_from;
    Instance blocks[5];
  } cases[] = {
      {200,
       16623,
       Instance::short_header,
       81,
       Instance::names_39,
       {Instance::axis_records_676, Instance::names_39, Instance::general_25,
        Instance::table_a_32_v200, Instance::table_b_9}},
      {210,
       17652,
       Instance::short_header,
       81,
       Instance::names_39,
       {Instance::axis_records_676, Instance::names_40, Instance::general_28,
        Instance::table_a_32_v210, Instance::table_b_16}},
      {250,
       18620,
       Instance::long_header,
       588,
       Instance::axis_records_680,
       {Instance::axis_records_680, Instance::names_40, Instance::general_28,
        Instance::table_a_32_v210, Instance::table_b_16}},
  };
  for (const auto& c : cases) {
    auto image = std::make_unique<SystemImage>();
    write_system_file(c.version, *ws, *image);
    std::vector<std::uint8_t> file(image->size());
    ASSERT_EQ(image->copy_to(file), file.size());
    const ConstBytes out(file);
    ASSERT_EQ(out.size(), c.size);
    const ConstBytes header = ws->instance(c.header);
    EXPECT_TRUE(std::equal(header.begin(), header.begin() + static_cast<std::ptrdiff_t>(c.tail_at),
                           out.begin()));
    const ConstBytes tail = ws->instance(c.tail_from);
    EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(c.tail_at),
                           out.begin() + static_cast<std::ptrdiff_t>(header.size()), tail.begin()));
    std::size_t at = header.size();
    for (Instance id : c.blocks) {
      const ConstBytes block = ws->instance(id);
      EXPECT_TRUE(
          std::equal(block.begin(), block.end(), out.begin() + static_cast<std::ptrdiff_t>(at)));
      at += block.size();
    }
    EXPECT_EQ(at, c.size);
  }
  auto image = std::make_unique<SystemImage>();
  write_system_file(171, *ws, *image);
  EXPECT_EQ(image->size(), 0u);  // V1.71 is never written
}

}  // namespace
}  // namespace datlift
