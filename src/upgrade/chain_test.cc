// SPDX-License-Identifier: MIT
// Whole runs along the upgrade chain, checked against output images stated independently here
// from the planted input.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "support/run_in_memory.h"
#include "support/sample_image.h"

namespace datlift {
namespace {

using test::run_in_memory;
using test::RunOutcome;
using Image = std::vector<std::uint8_t>;

void copy(const Image& from, std::size_t from_at, Image& to, std::size_t to_at, std::size_t n) {
  std::memcpy(to.data() + to_at, from.data() + from_at, n);
}

std::size_t text_len(const Image& im, std::size_t at, std::size_t width) {
  return text_length(ConstBytes(im).subspan(at, width));
}

// The V2.50 file that a V1.71 file of PLX-8 becomes, with the given names for the first entries.
Image expected_v250_from_v171(const Image& in, const std::vector<std::string>& names) {
  Image out(18620, 0);
  // Long header: all zero but the identification string, header text 3, and the tail that
  // repeats the first bytes of the axis records behind it.
  std::memcpy(out.data() + 516, "SYSFILE PLX-8 V2.50", 20);
  copy(in, 55, out, 556, text_len(in, 55, 26));
  // Axis records: V1.71 at 128 (584 bytes each), V2.50 at 1024 (680 bytes each).
  for (std::size_t k = 0; k < 18; ++k) {
    const std::size_t f = 128 + 584 * k;
    const std::size_t t = 1024 + 680 * k;
    copy(in, f + 0, out, t + 0, 48);      // six 8-byte fields
    copy(in, f + 48, out, t + 512, 4);    // the 4-byte field moved behind the 8-byte fields
    copy(in, f + 52, out, t + 48, 464);   // 24-byte fields, 24-byte array, four 8-byte fields
    copy(in, f + 516, out, t + 516, 24);  // raw 4-byte field and five 4-byte fields
    copy(in, f + 540, out, t + 540, 36);  // array elements 0..8; 9..31 stay zero
    copy(in, f + 576, out, t + 668, 8);   // two 4-byte fields; 676..679 stay zero
  }
  copy(out, 1024, out, 588, 436);
  // Axis names: 39-byte entries at 10640 to 40-byte entries at 13264.
  for (std::size_t k = 0; k < 18; ++k) {
    const std::size_t f = 10640 + 39 * k;
    const std::size_t t = 13264 + 40 * k;
    copy(in, f, out, t, text_len(in, f, 11));
    copy(in, f + 11, out, t + 12, 28);
    if (k < names.size()) std::memcpy(out.data() + t, names[k].c_str(), names[k].size() + 1);
  }
  // General record: 25 bytes at 11342 to 28 bytes at 13984.
  copy(in, 11342, out, 13984, text_len(in, 11342, 9));
  copy(in, 11342 + 9, out, 13984 + 12, 16);
  // Axis table A: rows of 56 bytes at 11367 to rows of 128 bytes at 14012.
  for (std::size_t k = 0; k < 18; ++k) copy(in, 11367 + 56 * k, out, 14012 + 128 * k, 56);
  // Axis table B: rows of 9 + 9 values at 12375 to rows of 16 + 16 at 16316.
  for (std::size_t k = 0; k < 18; ++k) {
    copy(in, 12375 + 72 * k, out, 16316 + 128 * k, 36);
    copy(in, 12375 + 72 * k + 36, out, 16316 + 128 * k + 64, 36);
  }
  return out;
}

TEST(Chain, V171ToV250IsTheIndependentlyStatedImage) {
  test::SampleRecipe recipe;
  recipe.version = 171;
  recipe.header_text3 = "LINE 4 PRESS";
  recipe.names[3] = "LONGNAME10";
  recipe.general_text = "GEN12345";
  const Image in = test::build_system_dat(recipe);
  const RunOutcome out = run_in_memory(in, {"/AFIRST", "/A2ND"});
  ASSERT_EQ(out.code, 0) << out.printed;
  EXPECT_EQ(out.printed,
            "DATLIFT V2.50\n"
            "System file >> V1.71 << for Motion Control Unit PLX-8 read in!\n"
            "Conversion from PLX-8 V1.71 --> PLX-8 V2.00\n"
            "Conversion from PLX-8 V2.00 --> PLX-8 V2.10\n"
            "Conversion from PLX-8 V2.10 --> PLX-8 V2.50\n"
            "File: -MCFG.DAT- generated!\n");
  const Image expected = expected_v250_from_v171(in, {"FIRST", "2ND"});
  ASSERT_EQ(out.system.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i)
    ASSERT_EQ(out.system[i], expected[i]) << "first difference at offset " << i;
}

// The short header of V2.00 and V2.10 output: texts 1 and 2 emptied in their first byte only,
// the new identification string, header text 3 as read, and the input's axis names in the tail.
TEST(Chain, ShortHeaderOutput) {
  test::SampleRecipe recipe;
  recipe.version = 171;
  const Image in = test::build_system_dat(recipe);
  for (const char* target : {"/V2.00", "/V2.10"}) {
    const RunOutcome out = run_in_memory(in, {target});
    ASSERT_EQ(out.code, 0);
    Image header(in.begin(), in.begin() + 128);
    header[4] = 0;
    header[17] = 0;
    const char* ident = target[4] == '0' ? "SYSFILE PLX-8 V2.00" : "SYSFILE PLX-8 V2.10";
    std::memcpy(header.data() + 30, ident, 20);
    copy(in, 10640, header, 81, 47);
    EXPECT_EQ(Image(out.system.begin(), out.system.begin() + 128), header) << target;
    EXPECT_EQ(out.system.size(), target[4] == '0' ? 16623u : 17652u);
    EXPECT_EQ(out.mcfg_written, target[4] == '1');
  }
}

// Identifies an output image again.
std::string identify_again(const Image& image) {
  const RunOutcome out = run_in_memory(image, {"/NC"});
  EXPECT_EQ(out.code, 0);
  return out.printed.substr(std::strlen("DATLIFT V2.50\n"));
}

TEST(Chain, EveryModelToEveryModelOfItsFamily) {
  const std::vector<std::string> family_a = {"PLX-4K", "PLX-4200", "PLX-4300", "PLX-4500"};
  const std::vector<std::string> family_b = {"PLX-8", "PLX-8200"};
  for (const auto* family : {&family_a, &family_b}) {
    for (const std::string& file_model : *family) {
      for (const std::string& selected : *family) {
        for (int target : {210, 250}) {
          for (int from : {200, 210}) {
            if (from >= target) continue;
            test::SampleRecipe recipe;
            recipe.version = from;
            recipe.model = file_model;
            const std::string to = target == 210 ? "2.10" : "2.50";
            const RunOutcome out =
                run_in_memory(test::build_system_dat(recipe), {"/" + selected, "/V" + to});
            const std::string tag = file_model + " V" + std::to_string(from) + " -> " + selected;
            ASSERT_EQ(out.code, 0) << tag << out.printed;
            std::string lines;
            if (from == 200)
              lines += "Conversion from " + file_model + " V2.00 --> " + selected + " V2.10\n";
            if (target == 250)
              lines += "Conversion from " + file_model + " V2.10 --> " + selected + " V2.50\n";
            const bool mcfg = selected == "PLX-8" || selected == "PLX-4K";
            EXPECT_EQ(out.printed, "DATLIFT V2.50\nSystem file >> V" +
                                       std::string(from == 200 ? "2.00" : "2.10") +
                                       " << for Motion Control Unit " + file_model + " read in!\n" +
                                       lines + (mcfg ? "File: -MCFG.DAT- generated!\n" : ""))
                << tag;
            EXPECT_EQ(out.system.size(), target == 210 ? 17652u : 18620u) << tag;
            EXPECT_EQ(out.mcfg_written, mcfg) << tag;
            EXPECT_EQ(
                identify_again(out.system),
                "System file >> V" + to + " << for Motion Control Unit " + selected + " read in!\n")
                << tag;
          }
        }
      }
    }
  }
}

// MCFG.DAT by selected model: target 210, target 250, and a run from V2.50, which fills no block.
TEST(Chain, McfgFileBySelectedModel) {
  const struct {
    const char* file_model;
    const char* selected;
    bool gets_mcfg;
  } cases[] = {
      {"PLX-8", "PLX-8", true},      {"PLX-8", "PLX-8200", false},  {"PLX-8200", "PLX-8", true},
      {"PLX-4200", "PLX-4K", true},  {"PLX-4K", "PLX-4200", false}, {"PLX-4K", "PLX-4300", false},
      {"PLX-4K", "PLX-4500", false},
  };
  Image mcfg_image;
  for (const auto& c : cases) {
    for (int from : {200, 210, 250}) {
      for (const char* target : {"/V2.10", "/V2.50"}) {
        if ((from == 210 && target[4] == '1') || (from == 250 && target[4] == '1')) continue;
        test::SampleRecipe recipe;
        recipe.version = from;
        recipe.model = c.file_model;
        const RunOutcome out = run_in_memory(test::build_system_dat(recipe),
                                             {std::string("/") + c.selected, target, "/AX"});
        const std::string tag = std::string(c.file_model) + " " + std::to_string(from) + " " +
                                c.selected + " " + target;
        ASSERT_EQ(out.code, 0) << tag;
        EXPECT_EQ(out.mcfg_written, c.gets_mcfg && from != 250) << tag;
        if (!out.mcfg_written) continue;
        ASSERT_EQ(out.mcfg.size(), 460u);
        if (mcfg_image.empty()) mcfg_image = out.mcfg;
        EXPECT_EQ(out.mcfg, mcfg_image) << tag;  // the same image, whichever steps ran
      }
    }
  }
  EXPECT_FALSE(mcfg_image.empty());
}

// At target V2.10 the names of the input stay; the names are applied only on the way to V2.50.
TEST(Chain, NamesLeftAloneAtTargetV210) {
  test::SampleRecipe recipe;
  recipe.version = 200;
  const Image in = test::build_system_dat(recipe);
  const RunOutcome out = run_in_memory(in, {"/V2.1", "/ANEW"});
  ASSERT_EQ(out.code, 0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(out.system.data()) + 12296), "AXIS0");
}

}  // namespace
}  // namespace datlift
