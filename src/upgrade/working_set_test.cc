// SPDX-License-Identifier: MIT
#include "sysfile/system_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "files/memory_files.h"
#include "support/captured.h"
#include "support/sample_image.h"
#include "upgrade/upgrade.h"

namespace datlift {
namespace {

// A file read into the working set and written in its own version comes out as it went in, but
// for the tail of its header, which a written file fills anew: every block is read into the
// instance that the writer takes it from. (The upgrade steps and the chain tests show that these
// are the instances of the block's layout.)
TEST(ReadSystemBlocks, FileReadAndWrittenInItsOwnVersionIsUnchanged) {
  for (const int version : {200, 210, 250}) {
    const auto image = test::system_dat(version);
    MemoryFiles files(image, {}, {});
    InputStream& input = *files.open_input();
    std::vector<std::uint8_t> header(version == 250 ? 1024 : 128);
    ASSERT_EQ(input.read(header), header.size());
    auto ws = std::make_unique<WorkingSet>();
    std::copy(header.begin(), header.end(),
              version == 250 ? ws->long_header.begin() : ws->short_header.begin());
    ASSERT_EQ(read_system_blocks(input, version, *ws), 0);
    auto written = std::make_unique<SystemImage>();
    write_system_file(version, *ws, *written);
    std::vector<std::uint8_t> out;
    for (const ConstBytes part : written->pieces()) out.insert(out.end(), part.begin(), part.end());
    ASSERT_EQ(out.size(), image.size()) << version;
    const std::size_t tail = version == 250 ? 588 : 81;
    EXPECT_TRUE(
        std::equal(out.begin(), out.begin() + static_cast<std::ptrdiff_t>(tail), image.begin()))
        << version;
    EXPECT_TRUE(std::equal(out.begin() + static_cast<std::ptrdiff_t>(header.size()), out.end(),
                           image.begin() + static_cast<std::ptrdiff_t>(header.size())))
        << version;
  }
}

// A V1.71 file is never written: its blocks are read where the V1.71 step takes them from, and
// the three blocks that V2.00 keeps come out of that step unchanged.
TEST(ReadSystemBlocks, V171BlocksFeedTheStepToV200) {
  const auto image = test::system_dat(171);
  const auto in = test::block_offsets(171, false);
  MemoryFiles files(image, {}, {});
  InputStream& input = *files.open_input();
  auto ws = std::make_unique<WorkingSet>();
  ASSERT_EQ(input.read(ws->short_header), 128u);
  ASSERT_EQ(read_system_blocks(input, 171, *ws), 0);
  test::Captured sink;
  Console console(sink);
  const NameOverrides none;
  StepContext step{*ws, console, Model::plx_8, Model::plx_8, none};
  upgrade_v171_to_v200(step);
  auto written = std::make_unique<SystemImage>();
  write_system_file(200, *ws, *written);
  std::vector<std::uint8_t> out;
  for (const ConstBytes part : written->pieces()) out.insert(out.end(), part.begin(), part.end());
  const auto at = test::block_offsets(200, false);
  ASSERT_EQ(out.size(), at[5]);
  // Axis names and the general record (blocks 2 and 3), and axis table B (block 5).
  for (const int b : {1, 2, 4}) {
    EXPECT_TRUE(std::equal(image.begin() + static_cast<std::ptrdiff_t>(in[b]),
                           image.begin() + static_cast<std::ptrdiff_t>(in[b + 1]),
                           out.begin() + static_cast<std::ptrdiff_t>(at[b])))
        << "block " << b + 1;
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
    std::vector<std::uint8_t> file;
    for (const ConstBytes part : image->pieces()) file.insert(file.end(), part.begin(), part.end());
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
  EXPECT_EQ(image->count, 0u);  // V1.71 is never written
}

}  // namespace
}  // namespace datlift
