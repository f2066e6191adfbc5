// SPDX-License-Identifier: MIT
#include "common/console.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "support/captured.h"

namespace datlift {
namespace {

// The console formats "%s" and "%i" itself; whatever the path, the bytes are printf's, in one
// write.
TEST(Console, PrintsWhatPrintfPrints) {
  const int numbers[] = {INT_MIN, -10, -1, 0, 7, 10, 1234567890, INT_MAX};
  for (int n : numbers) {
    test::Captured sink;
    Console console(sink);
    console.print("Bad Format of SYSTEM.DAT (Status %i)", n);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Bad Format of SYSTEM.DAT (Status %i)", n);
    EXPECT_EQ(sink.text(), expected);
    EXPECT_EQ(sink.writes, 1);
  }
  for (const char* s : {"", "PLX-8", "V2.5\xA0\x01", "%i"}) {
    test::Captured sink;
    Console console(sink);
    console.print("System file >> %s << for Motion Control Unit %s read in!\n", s, "X");
    EXPECT_EQ(sink.text(),
              std::string("System file >> ") + s + " << for Motion Control Unit X read in!\n");
    EXPECT_EQ(sink.writes, 1);
  }
  test::Captured sink;
  Console console(sink);
  console.print("Break at undefined Version %s V%3.2lf --> %s V%3.2lf!\n", "PLX-8", 1.71,
                "PLX-8200", 2.5);
  EXPECT_EQ(sink.text(), "Break at undefined Version PLX-8 V1.71 --> PLX-8200 V2.50!\n");
}

// Texts that a person reads on a terminal: every byte a terminal would act on, or that is no
// character, as \xHH; whole characters as they are.
TEST(Console, EscapedTextsStayOneLine) {
  const struct {
    const char* text;
    const char* shown;
  } cases[] = {
      {"store/machine.dat", "store/machine.dat"},
      {"a\nb\r\tc", "a\\x0Ab\\x0D\\x09c"},
      {"\x1B]0;owned\x07\x7F", "\\x1B]0;owned\\x07\\x7F"},
      {"Z\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", "Z\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"\xC2\x9B"
       "2J",
       "\\xC2\\x9B2J"},            // a C1 control, as UTF-8
      {"\xE9\xC3", "\\xE9\\xC3"},  // no character, or half of one
      {"\xE0\x80\x80\xED\xA0\x80", "\\xE0\\x80\\x80\\xED\\xA0\\x80"},  // overlong, surrogate
      {"\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},                    // above U+10FFFF
  };
  for (const auto& c : cases) {
    test::Captured sink;
    Console console(sink, Texts::escaped);
    console.print("datlift: %s: %s\n", c.text, "open");
    EXPECT_EQ(sink.text(), std::string("datlift: ") + c.shown + ": open\n") << c.text;
  }
}

}  // namespace
}  // namespace datlift
