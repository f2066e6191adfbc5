// SPDX-License-Identifier: MIT
#include "run/run_sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "common/text_sink.h"
#include "files/memory_files.h"
#include "run/options.h"
#include "support/expected_text.h"
#include "support/run_in_memory.h"
#include "support/sample_image.h"

namespace datlift {
namespace {

using test::run_in_memory;
using test::RunOutcome;
using test::SampleRecipe;
using namespace test;

using test::system_dat;

struct RunCase {
  const char* name;
  std::vector<std::uint8_t> image;
  std::vector<std::string> args;
  int code;
  std::string printed;
  std::size_t written_size;  // 0: nothing written
  bool mcfg;
};

void check(const RunCase& c, const RunOutcome& out) {
  EXPECT_EQ(out.code, c.code) << c.name;
  EXPECT_EQ(out.printed, c.printed) << c.name;
  EXPECT_EQ(out.replaced, c.written_size != 0) << c.name;
  EXPECT_EQ(out.system.size(), c.written_size) << c.name;
  EXPECT_EQ(out.mcfg_written, c.mcfg) << c.name;
  EXPECT_FALSE(out.input_left_open) << c.name;
}

TEST(RunSequence, OutcomesOfWholeRuns) {
  const auto v210_plx8 = system_dat(210, "PLX-8");
  const auto v250_plx8 = system_dat(250, "PLX-8");
  const auto v200_plx8 = system_dat(200, "PLX-8");
  const auto v171_plx8 = system_dat(171, "PLX-8");
  const auto v210_4200 = system_dat(210, "PLX-4200");
  const auto v250_4200 = system_dat(250, "PLX-4200");
  const auto v250_8200 = system_dat(250, "PLX-8200");
  const std::string r210 = kBanner + read_in("V2.10", "PLX-8");
  const std::string r250 = kBanner + read_in("V2.50", "PLX-8");
  const std::string r200 = kBanner + read_in("V2.00", "PLX-8");
  const std::string r171 = kBanner + read_in("V1.71", "PLX-8");
  const std::string c210 = conversion("PLX-8", "2.10", "PLX-8", "2.50");
  const std::string c200 = conversion("PLX-8", "2.00", "PLX-8", "2.10");
  const std::string c171 = conversion("PLX-8", "1.71", "PLX-8", "2.00");
  const std::string refresh = conversion("PLX-8", "2.50", "PLX-8", "2.50");

  const RunCase cases[] = {
      {"typical run", v210_plx8, {}, 0, r210 + c210 + kGenerated, 18620, true},
      {"/v2.1 lower case", v200_plx8, {"/v2.1"}, 0, r200 + c200 + kGenerated, 17652, true},
      {"last /V counts",
       v200_plx8,
       {"/V2.10", "/V2.50"},
       0,
       r200 + c200 + c210 + kGenerated,
       18620,
       true},
      {"two equal model options", v210_plx8, {"/PLX-8", "/PLX-8"}, 1, kBanner + kUsage, 0, false},
      {"two model options", v210_plx8, {"/PLX-8", "/PLX-4K"}, 1, kBanner + kUsage, 0, false},
      {"/A alone", v210_plx8, {"/A"}, 1, kBanner + kUsage, 0, false},
      {"unknown option after a good one", v210_plx8, {"/NC", "/Q"}, 1, kBanner + kUsage, 0, false},
      {"/NC", v210_plx8, {"/NC"}, 0, r210, 0, false},
      {"/NC with a model token of no model",
       system_dat(210, "PLX-9"),
       {"/NC"},
       0,
       kBanner + read_in("V2.10", "PLX-9"),
       0,
       false},
      {"/NC on a file that fails identification",
       std::vector<std::uint8_t>(100, 'S'),
       {"/NC"},
       2,
       kBanner + "Bad Format of SYSTEM.DAT (Status 2)",
       0,
       false},
      {"newest version", v250_plx8, {}, 13, r250 + kNewest, 0, false},
      {"newest version, own model option", v250_plx8, {"/plx-8"}, 13, r250 + kNewest, 0, false},
      {"V2.50 with a name", v250_plx8, {"/ANEW"}, 0, r250 + refresh, 18620, false},
      {"V2.50 for another model of its family",
       v250_4200,
       {"/PLX-4500"},
       0,
       kBanner + read_in("V2.50", "PLX-4200") + conversion("PLX-4200", "2.50", "PLX-4500", "2.50"),
       18620,
       false},
      {"V2.50 to PLX-8 from PLX-8200: no MCFG.DAT from an unfilled block",
       v250_8200,
       {"/PLX-8"},
       0,
       kBanner + read_in("V2.50", "PLX-8200") + conversion("PLX-8200", "2.50", "PLX-8", "2.50"),
       18620,
       false},
      {"V2.50 PLX-8200 renamed only",
       v250_8200,
       {"/AX"},
       0,
       kBanner + read_in("V2.50", "PLX-8200") + conversion("PLX-8200", "2.50", "PLX-8200", "2.50"),
       18620,
       false},
      {"V2.00 to V2.00", v200_plx8, {"/V2.00"}, 15, r200 + c200 + kUpward, 0, false},
      {"V2.00 to V2.20", v200_plx8, {"/V2.20"}, 15, r200 + c200 + c210 + kUpward, 0, false},
      {"V2.10 to V2.10", v210_plx8, {"/V2.10"}, 15, r210 + c210 + kUpward, 0, false},
      {"V1.71 to V1.71", v171_plx8, {"/V1.71"}, 15, r171 + c171 + kUpward, 0, false},
      {"downgrade", v210_plx8, {"/V2.00"}, 13, r210 + kNoUpdate, 0, false},
      {"V2.50 to V2.10 with a name", v250_plx8, {"/V2.10", "/AX"}, 13, r250 + kNoUpdate, 0, false},
      {"family A to B",
       v210_4200,
       {"/PLX-8"},
       13,
       kBanner + read_in("V2.10", "PLX-4200") + kNoUpdate,
       0,
       false},
      {"family B to A", v210_plx8, {"/PLX-4K"}, 13, r210 + kNoUpdate, 0, false},
      {"within family A, to a model with MCFG.DAT",
       v210_4200,
       {"/PLX-4K"},
       0,
       kBanner + read_in("V2.10", "PLX-4200") + conversion("PLX-4200", "2.10", "PLX-4K", "2.50") +
           kGenerated,
       18620,
       true},
      {"V1.71 for PLX-8200",
       v171_plx8,
       {"/PLX-8200"},
       14,
       r171 + "Break at undefined Version PLX-8 V1.71 --> PLX-8200 V2.50!\n",
       0,
       false},
      {"V1.71 of PLX-4K",
       system_dat(171, "PLX-4K"),
       {},
       7,
       kBanner + read_in("V1.71", "PLX-4K") + "Sorry, but PLX-4K V1.71 cannot be converted!\n",
       0,
       false},
      {"V1.71 to V2.00", v171_plx8, {"/V2"}, 0, r171 + c171, 16623, false},
      {"V1.71 to V2.10", v171_plx8, {"/V2.1"}, 0, r171 + c171 + c200 + kGenerated, 17652, true},
      {"V1.71 to V2.50", v171_plx8, {}, 0, r171 + c171 + c200 + c210 + kGenerated, 18620, true},
      {"target above V2.50",
       v210_plx8,
       {"/V3.00"},
       18,
       r210 + c210 + "Unknown Version (3.00) specified!\n",
       0,
       false},
      {"target above V2.50 from V2.50",
       v250_plx8,
       {"/AX", "/V3"},
       18,
       r250 + refresh + "Unknown Version (3.00) specified!\n",
       0,
       false},
      {"target 1e22",
       v210_plx8,
       {"/V1e22"},
       18,
       r210 + c210 + "Unknown Version (1" + std::string(22, '0') + ".00) specified!\n",
       0,
       false},
      {"target inf",
       v210_plx8,
       {"/Vinf"},
       18,
       r210 + c210 + "Unknown Version ( inf) specified!\n",
       0,
       false},
      {"target nan", v210_plx8, {"/Vnan"}, 13, r210 + kNoUpdate, 0, false},
  };
  for (const RunCase& c : cases) check(c, run_in_memory(c.image, c.args));
}

TEST(RunSequence, BannerShowsTheDefaultTargetVersion) {
  char banner[32];
  std::snprintf(banner, sizeof banner, "DATLIFT V%4.2lf\n", newest(kVersions).number / 100.0);
  EXPECT_EQ(run_in_memory({}, {"/V3"}, {.present = false}).printed.substr(0, kBanner.size()),
            banner);
}

TEST(RunSequence, UsageErrorsComeBeforeSystemDatIsOpened) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{"/PLX-8", "/PLX-8"}, {"/A"}, {"/X"}}) {
    const RunOutcome missing = run_in_memory({}, args, {.present = false});
    EXPECT_EQ(missing.code, 1);
    EXPECT_EQ(missing.printed, kBanner + kUsage);
    EXPECT_EQ(missing.opens, 0);
  }
  std::vector<std::string> nineteen;
  for (int i = 0; i < 19; ++i) nineteen.push_back(std::string("/AN").append(std::to_string(i)));
  const RunOutcome out = run_in_memory(system_dat(210, "PLX-8"), nineteen);
  EXPECT_EQ(out.code, 1);
  EXPECT_EQ(out.opens, 0);
  nineteen.pop_back();
  EXPECT_EQ(run_in_memory(system_dat(210, "PLX-8"), nineteen).code, 0);
}

TEST(RunSequence, MissingSystemDat) {
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, {"/NC"}}) {
    const RunOutcome out = run_in_memory({}, args, {.present = false});
    EXPECT_EQ(out.code, 2);
    EXPECT_EQ(out.printed, kBanner + "File >> SYSTEM.DAT << not found!\n");
  }
}

TEST(RunSequence, VersionAndModelRefusals) {
  const struct {
    const char* model;
    const char* version_token;
    int code;
    std::string tail;
    int layout = 210;
  } cases[] = {
      {"PLX-8", "V3.00", 5, "Sorry, but PLX-8 V3.00 cannot be converted!\n"},
      {"PLX-4K", "V2.05", 5, "Sorry, but PLX-4K V2.05 cannot be converted!\n"},
      {"PLX-8", "V-2.10", 5, "Sorry, but PLX-8 V-2.10 cannot be converted!\n"},
      {"PLX-8", "Vx", 5, "Sorry, but PLX-8 Vx cannot be converted!\n"},
      {"plx-8", "V3.00", 4, "Bad Format of SYSTEM.DAT (Status 4)"},
      {"plx-8", "V2.10", 4, "Bad Format of SYSTEM.DAT (Status 4)"},
      {"PLX-8X", "V2.10", 4, "Bad Format of SYSTEM.DAT (Status 4)"},
      {"PLX-4200", "V1.71", 7, "Sorry, but PLX-4200 V1.71 cannot be converted!\n"},
      {"PLX-8", "V2.5", 13, kNewest, 250},
      {"PLX-8", "V2.50xyz", 13, kNewest, 250},
      {"PLX-8", "V2.10rc", 0, conversion("PLX-8", "2.10", "PLX-8", "2.50") + kGenerated},
  };
  for (const auto& c : cases) {
    SampleRecipe recipe;
    recipe.version = c.layout;
    recipe.model = c.model;
    recipe.version_token = c.version_token;
    const RunOutcome out = run_in_memory(test::build_system_dat(recipe), {});
    EXPECT_EQ(out.code, c.code) << c.version_token;
    EXPECT_EQ(out.printed, kBanner + read_in(c.version_token, c.model) + c.tail) << c.model;
  }
}

// Each refusal says why, in words and with the numbers; a run that converts says nothing.
TEST(RunSequence, RefusalsSayWhy) {
  SampleRecipe v300;
  v300.version_token = "V3.00";
  auto cut = system_dat(210, "PLX-8");
  cut.resize(1000);
  const struct {
    std::vector<std::uint8_t> image;
    std::vector<std::string> args;
    std::string why;
  } cases[] = {
      {std::vector<std::uint8_t>(100, 'S'),
       {},
       "no header holds \"SYSFILE\", a model and a version that begins with V\n"},
      {system_dat(210, "PLX-9"),
       {},
       "model PLX-9 is none of the models PLX-4K, PLX-8, PLX-8200, PLX-4200, PLX-4300 and "
       "PLX-4500\n"},
      {test::build_system_dat(v300),
       {},
       "version V3.00 has no layout (only V1.71, V2.00, V2.10 and V2.50 have)\n"},
      {system_dat(171, "PLX-4K"), {}, "V1.71 files are converted only for PLX-8\n"},
      {cut, {}, "ends inside its axis records: 1000 of the 12296 bytes that V2.10 needs\n"},
      {system_dat(250, "PLX-8"),
       {},
       "V2.50 already, with no other model and no axis names to set: nothing to change\n"},
      {system_dat(210, "PLX-8"),
       {"/V2.00"},
       "V2.10 cannot become V2.00: no conversion goes down\n"},
      {system_dat(210, "PLX-8"), {"/PLX-4K"}, "PLX-8 and PLX-4K are of different model families\n"},
      {system_dat(200, "PLX-8"),
       {"/V2.05"},
       "every step runs at least once: the file is V2.10 after it, above the target V2.05\n"},
      {system_dat(210, "PLX-8"), {"/V3"}, "no layout above V2.50: the target 3.00 has none\n"},
      {system_dat(210, "PLX-8"), {}, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(run_in_memory(c.image, c.args).why, c.why);
}

// A V1.71 file of another model is refused before any block is read, however short it is.
TEST(RunSequence, V171ModelRefusalComesBeforeTheBlocks) {
  auto image = system_dat(171, "PLX-4K");
  image.resize(128);
  const RunOutcome out = run_in_memory(image, {});
  EXPECT_EQ(out.code, 7);
  EXPECT_EQ(out.bytes_read, 128u);
  EXPECT_FALSE(out.input_left_open);
}

// Truncation at every block boundary of every layout, behind either header form: the status of
// the first block not held whole, nothing written, the input closed.
TEST(RunSequence, TruncatedFilesEndWithTheStatusOfTheFirstMissingBlock) {
  const int statuses[] = {6, 8, 9, 10, 11};
  for (int version : {171, 200, 210, 250}) {
    for (bool long_header : {false, true}) {
      SampleRecipe recipe;
      recipe.version = version;
      recipe.header = long_header ? test::HeaderChoice::long_form : test::HeaderChoice::short_form;
      const auto full = test::build_system_dat(recipe);
      const auto at = test::block_offsets(version, long_header);
      for (std::size_t block = 0; block < 5; ++block) {
        for (std::size_t size : {at[block], at[block] + 1, at[block + 1] - 1}) {
          const std::vector<std::uint8_t> cut(full.begin(),
                                              full.begin() + static_cast<std::ptrdiff_t>(size));
          const RunOutcome out = run_in_memory(cut, {"/V2.5", "/AX"});
          const std::string tag =
              std::to_string(version) + (long_header ? " long " : " short ") + std::to_string(size);
          EXPECT_EQ(out.code, statuses[block]) << tag;
          EXPECT_EQ(out.printed.substr(out.printed.rfind('\n') + 1),
                    "Bad Format of SYSTEM.DAT (Status " + std::to_string(statuses[block]) + ")")
              << tag;
          EXPECT_FALSE(out.replaced) << tag;
          EXPECT_FALSE(out.input_left_open) << tag;
        }
      }
      // Whole, and whole with more behind it: read no further than axis table B.
      auto longer = full;
      longer.resize(full.size() + 5000, 0xEE);
      for (const auto& image : {full, longer}) {
        const RunOutcome out = run_in_memory(image, {"/V2.5", "/AX"});
        EXPECT_EQ(out.code, 0) << version << long_header;
        EXPECT_EQ(out.bytes_read, full.size()) << version << long_header;
        EXPECT_EQ(out.system.size(), 18620u);
      }
      EXPECT_EQ(run_in_memory(full, {"/V2.5", "/AX"}).system,
                run_in_memory(longer, {"/V2.5", "/AX"}).system);
    }
  }
}

TEST(RunSequence, FailuresToReplaceTheFiles) {
  const auto v210 = system_dat(210, "PLX-8");
  const std::string r210 =
      kBanner + read_in("V2.10", "PLX-8") + conversion("PLX-8", "2.10", "PLX-8", "2.50");
  const RunOutcome sys = run_in_memory(v210, {}, {.fail_with = ReplaceResult::system_failed});
  EXPECT_EQ(sys.code, 16);
  EXPECT_EQ(sys.printed, r210 + "File >> SYSTEM.DAT << cannot be created!\n");
  const RunOutcome cfg = run_in_memory(v210, {}, {.fail_with = ReplaceResult::mcfg_failed});
  EXPECT_EQ(cfg.code, 17);
  EXPECT_EQ(cfg.printed, r210 + "File >> MCFG.DAT << cannot be created!\n");
}

// The lock comes before the file is opened, and only for runs that may write.
TEST(RunSequence, LockOnSystemDat) {
  const auto v210 = system_dat(210, "PLX-8");
  const struct {
    LockResult lock;
    std::vector<std::string> args;
    int code;
    std::string printed;
    int locks;
  } cases[] = {
      {LockResult::busy, {}, 19, kBanner + "File >> SYSTEM.DAT << is in use!\n", 1},
      {LockResult::absent, {}, 2, kBanner + kNotFound, 1},
      {LockResult::failed, {}, 16, kBanner + kSystemNotCreated, 1},
      {LockResult::busy, {"/NC"}, 0, kBanner + read_in("V2.10", "PLX-8"), 0},
      {LockResult::busy, {"/X"}, 1, kBanner + kUsage, 0},
  };
  for (const auto& c : cases) {
    const RunOutcome out = run_in_memory(v210, c.args, {.lock_with = c.lock});
    EXPECT_EQ(out.code, c.code) << c.printed;
    EXPECT_EQ(out.printed, c.printed);
    EXPECT_EQ(out.locks, c.locks) << c.printed;
    EXPECT_EQ(out.opens, c.code == 0 ? 1 : 0) << c.printed;
    EXPECT_FALSE(out.replaced);
  }
}

// A new version is one row of the table and one step, through the same code the product runs:
// here a V2.60 that is V2.50 with a general record of 32 bytes.
void upgrade_v250_to_v260(StepContext& step) {
  renew_header(step);
  const Bytes from = step.ws.block(250, BlockKind::general),
              to = step.ws.block(260, BlockKind::general);
  std::fill(to.begin(), to.end(), std::uint8_t{0});
  std::copy(from.begin(), from.end(), to.begin());
}

void refresh_v260(StepContext& step) {
  apply_name_overrides(step);
  renew_header(step);
}

constexpr Version kV260{260,
                        "2.60",
                        HeaderKind::long_header,
                        {shared(per_axis(kAxisRecord250)), shared(per_axis(kNameEntry40)), own(32),
                         shared(per_axis(kTableARow32)), shared(per_axis(kTableBRow16))},
                        {260, BlockKind::axis_records},
                        upgrade_v250_to_v260,
                        refresh_v260,
                        ModelSet::all(),
                        false};
constexpr Version kWithV260[] = {kVersionRows[0], kVersionRows[1], kVersionRows[2], kVersionRows[3],
                                 kV260};
static_assert(well_formed(kWithV260));

TEST(RunSequence, ANewVersionIsOneRowAndOneStep) {
  const std::string read_in_250 = read_in("V2.50", "PLX-8");
  const struct {
    const char* name;
    std::vector<std::uint8_t> image;
    std::vector<std::string> args;
    int code;
    std::string printed;  // after the banner
    std::size_t written;
  } cases[] = {
      {"V2.10 to the newest",
       system_dat(210),
       {},
       0,
       read_in("V2.10", "PLX-8") + conversion("PLX-8", "2.10", "PLX-8", "2.50") +
           conversion("PLX-8", "2.50", "PLX-8", "2.60") + kGenerated,
       18624},
      {"V2.50 to the newest",
       system_dat(250),
       {"/ANEW"},
       0,
       read_in_250 + conversion("PLX-8", "2.50", "PLX-8", "2.60"),
       18624},
      {"V2.50 as it was",
       system_dat(250),
       {"/V2.50"},
       15,
       read_in_250 + conversion("PLX-8", "2.50", "PLX-8", "2.60") + kUpward,
       0},
      {"above the newest",
       system_dat(250),
       {"/V2.70"},
       18,
       read_in_250 + conversion("PLX-8", "2.50", "PLX-8", "2.60") +
           "Unknown Version (2.70) specified!\n",
       0},
  };
  for (const auto& c : cases) {
    auto ws = std::make_unique<WorkingSetOf<instance_bytes(kWithV260)>>(kWithV260);
    auto mcfg = std::make_unique<McfgBlock>();
    auto image = std::make_unique<SystemImage>();
    std::vector<std::uint8_t> system(largest_file(kWithV260)), mcfg_out(kMcfgSize);
    MemoryFiles files(c.image, system, mcfg_out);
    std::array<char, 4096> out_room{}, why_room{};
    TextSink out_sink(out_room), why_sink(why_room);
    Console out(out_sink), why(why_sink);
    std::vector<const char*> argv;
    for (const std::string& a : c.args) argv.push_back(a.c_str());
    const int code = run_versions(static_cast<int>(argv.size()), argv.data(), files, out, why,
                                  {*ws, *mcfg, *image});
    EXPECT_EQ(code, c.code) << c.name;
    EXPECT_EQ(out_sink.text(), "DATLIFT V2.60\n" + c.printed) << c.name;
    ASSERT_EQ(files.system_written().size(), c.written) << c.name;
    if (c.written == 0) continue;
    const ConstBytes written = files.system_written();
    EXPECT_EQ(std::string(written.begin() + 516, written.begin() + 535), "SYSFILE PLX-8 V2.60");
    // The general record at its place in V2.60, its 28 bytes carried and four more, zero.
    const std::size_t general = 1024 + 18 * 680 + 18 * 40;
    const ConstBytes was = ConstBytes(c.image).subspan(c.image.size() - 28 - 2 * 18 * 128, 28);
    EXPECT_TRUE(std::equal(was.begin(), was.end(), written.begin() + general)) << c.name;
    EXPECT_EQ(load_le32(written, general + 28), 0u) << c.name;
  }
}

}  // namespace
}  // namespace datlift
