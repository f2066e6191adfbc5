// SPDX-License-Identifier: MIT
#include "common/console.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <string>

#include "support/captured.h"

namespace datlift {
namespace {

// The console formats "%s" and "%i" itself; whatever the path, the bytes are printf's.
TEST(Console, PrintsWhatPrintfPrints) {
  const int numbers[] = {INT_MIN, -10, -1, 0, 7, 10, 1234567890, INT_MAX};
  for (int n : numbers) {
    test::Captured sink;
    Console console(sink);
    console.print("Bad Format of SYSTEM.DAT (Status %i)", n);
    char expected[64];
    std::snprintf(expected, sizeof expected, "Bad Format of SYSTEM.DAT (Status %i)", n);
    EXPECT_EQ(sink.text(), expected);
  }
  for (const char* s : {"", "PLX-8", "V2.5\xA0\x01", "%i"}) {
    test::Captured sink;
    Console console(sink);
    console.print("System file >> %s << for Motion Control Unit %s read in!\n", s, "X");
    EXPECT_EQ(sink.text(),
              std::string("System file >> ") + s + " << for Motion Control Unit X read in!\n");
  }
  test::Captured sink;
  Console console(sink);
  console.print("Break at undefined Version %s V%3.2lf --> %s V%3.2lf!\n", "PLX-8", 1.71,
                "PLX-8200", 2.5);
  EXPECT_EQ(sink.text(), "Break at undefined Version PLX-8 V1.71 --> PLX-8200 V2.50!\n");
}

}  // namespace
}  // namespace datlift
