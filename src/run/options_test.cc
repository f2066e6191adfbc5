// SPDX-License-Identifier: MIT
#include "run/options.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace datlift {
namespace {

bool parse(std::vector<const char*> args, Options& options) {
  return parse_options(static_cast<int>(args.size()), args.data(), 2.50, options);
}

TEST(Options, AcceptedArguments) {
  const struct {
    std::vector<const char*> args;
    double target;
    bool model_accepted;
    Model model;
    bool identify_only;
  } cases[] = {
      {{}, 2.50, false, Model::plx_8, false},
      {{"/v2.1"}, 2.1, false, Model::plx_8, false},
      {{"/V2.10", "/V2.50"}, 2.50, false, Model::plx_8, false},
      {{"/V"}, 0.0, false, Model::plx_8, false},
      {{"/Vfoo"}, 0.0, false, Model::plx_8, false},
      {{"/VERBOSE"}, 0.0, false, Model::plx_8, false},
      {{"/plx-4k"}, 2.50, true, Model::plx_4k, false},
      {{"/PLX-8200", "/NC", "/nc"}, 2.50, true, Model::plx_8200, true},
      {{"/PLX-4500"}, 2.50, true, Model::plx_4500, false},
      {{"/Plx-4300"}, 2.50, true, Model::plx_4300, false},
      {{"/PLX-4200"}, 2.50, true, Model::plx_4200, false},
      {{"/PLX-8"}, 2.50, true, Model::plx_8, false},
  };
  for (const auto& c : cases) {
    Options o;
    ASSERT_TRUE(parse(c.args, o)) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(o.target_value, c.target);
    EXPECT_EQ(o.model_accepted, c.model_accepted);
    if (c.model_accepted) {
      EXPECT_EQ(o.selected_model, c.model);
    }
    EXPECT_EQ(o.identify_only, c.identify_only);
  }
}

TEST(Options, RefusedArguments) {
  const std::vector<const char*> cases[] = {
      {"/PLX-8", "/PLX-8"},
      {"/PLX-8", "/PLX-4K"},
      {"/A"},
      {"/a"},
      {"/PLX-8X"},
      {"PLX-8"},
      {"/NCX"},
      {"/X"},
      {""},
      {"/V2.5", "-h"},
      {nullptr},
  };
  for (const auto& args : cases) {
    Options o;
    EXPECT_FALSE(parse(args, o)) << (args[0] ? args[0] : "null");
  }
}

TEST(Options, AxisNamesFillSlotsInOrderCutToElevenCharacters) {
  Options o;
  ASSERT_TRUE(parse({"/AX", "/aSIXTEEN_CHARS_16", "/A 7"}, o));
  ASSERT_EQ(o.names.count, 3u);
  EXPECT_STREQ(o.names.slots[0].data(), "X");
  EXPECT_STREQ(o.names.slots[1].data(), "SIXTEEN_CHA");
  EXPECT_STREQ(o.names.slots[2].data(), " 7");
  for (std::size_t i = 1; i < o.names.slots[0].size(); ++i) EXPECT_EQ(o.names.slots[0][i], 0);
}

TEST(Options, EighteenNamesAtMost) {
  std::vector<std::string> names;
  for (int i = 0; i < 19; ++i) names.push_back(std::string("/AN").append(std::to_string(i)));
  std::vector<const char*> args;
  for (const auto& n : names) args.push_back(n.c_str());
  Options o;
  EXPECT_FALSE(parse(args, o));
  args.pop_back();
  Options p;
  EXPECT_TRUE(parse(args, p));
  EXPECT_EQ(p.names.count, 18u);
  EXPECT_STREQ(p.names.slots[17].data(), "N17");
}

}  // namespace
}  // namespace datlift
