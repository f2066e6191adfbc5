// SPDX-License-Identifier: MIT
#include "upgrade/working_set.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "files/memory_files.h"
#include "support/captured.h"
#include "support/sample_image.h"
#include "upgrade/upgrade.h"
#include "upgrade/version_table.h"

namespace datlift {
namespace {

std::vector<std::uint8_t> bytes_of(const SystemImage& image) {
  std::vector<std::uint8_t> out;
  for (const ConstBytes part : image.pieces()) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A file read into the working set and written in its own version comes out as it went in, but
// for the tail of its header, which a written file fills anew from the block the table names:
// the 39-byte axis name table behind a short header (empty here for a V2.10 file, which has a
// 40-byte one), the axis records behind a long one.
TEST(WorkingSet, FileReadAndWrittenInItsOwnVersion) {
  const struct {
    int version;
    std::size_t header, tail, tail_from;  // where the tail's bytes lie in the file, if anywhere
  } cases[] = {{200, 128, 47, 128 + 18 * 676}, {210, 128, 47, 0}, {250, 1024, 436, 1024}};
  for (const auto& c : cases) {
    const auto image = test::system_dat(c.version);
    MemoryFiles files(image, {}, {});
    InputStream& input = *files.open_input();
    auto ws = std::make_unique<ProductWorkingSet>(kVersions);
    const Version& version = *find_version(kVersions, c.version);
    ASSERT_EQ(input.read(ws->headers.of(version.header)), c.header);
    ASSERT_EQ(read_system_blocks(input, ws->blocks(c.version)), ExitCode::ok);
    auto written = std::make_unique<SystemImage>();
    ws->compose(version, *written);
    const std::vector<std::uint8_t> out = bytes_of(*written);
    ASSERT_EQ(out.size(), image.size()) << c.version;
    std::vector<std::uint8_t> expected = image;
    const auto tail = expected.begin() + static_cast<std::ptrdiff_t>(c.header - c.tail);
    if (c.tail_from == 0)
      std::fill_n(tail, c.tail, 0);
    else
      std::copy_n(image.begin() + static_cast<std::ptrdiff_t>(c.tail_from), c.tail, tail);
    EXPECT_TRUE(out == expected) << c.version;
  }
}

// A V1.71 file is never written: its blocks are read where the V1.71 step takes them from, and
// the three blocks that V2.00 keeps come out of that step unchanged.
TEST(WorkingSet, V171BlocksFeedTheStepToV200) {
  const auto image = test::system_dat(171);
  const auto in = test::block_offsets(171, false);
  MemoryFiles files(image, {}, {});
  InputStream& input = *files.open_input();
  auto ws = std::make_unique<ProductWorkingSet>(kVersions);
  ASSERT_EQ(input.read(ws->headers.short_form), 128u);
  ASSERT_EQ(read_system_blocks(input, ws->blocks(kV171)), ExitCode::ok);
  test::Captured sink;
  Console console(sink);
  const NameOverrides none;
  const Version& v200 = *find_version(kVersions, kV200);
  StepContext step{*ws, console, Model::plx_8, Model::plx_8, none, v200};
  upgrade_v171_to_v200(step);
  auto written = std::make_unique<SystemImage>();
  ws->compose(v200, *written);
  const std::vector<std::uint8_t> out = bytes_of(*written);
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

// A file that ends inside a block: its status, and nothing read behind that block.
TEST(WorkingSet, ReadStopsAtTheFirstBlockNotHeldWhole) {
  const auto image = test::system_dat(210);
  const auto end = test::block_offsets(210, false);
  for (std::size_t b = 0; b < kBlockKinds; ++b) {
    std::vector<std::uint8_t> cut(image.begin(),
                                  image.begin() + static_cast<std::ptrdiff_t>(end[b + 1] - 1));
    MemoryFiles files(cut, {}, {});
    InputStream& input = *files.open_input();
    auto ws = std::make_unique<ProductWorkingSet>(kVersions);
    ASSERT_EQ(input.read(ws->headers.short_form), 128u);
    EXPECT_EQ(read_system_blocks(input, ws->blocks(kV210)), kBlockKindInfo[b].missing) << b;
    EXPECT_EQ(files.bytes_read, cut.size()) << b;
  }
}

}  // namespace
}  // namespace datlift
