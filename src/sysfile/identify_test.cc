// SPDX-License-Identifier: MIT
#include "sysfile/identify.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "files/memory_files.h"
#include "support/captured.h"
#include "support/sample_image.h"

namespace datlift {
namespace {

TEST(ScanIdentification, FollowsTheScanfDirective) {
  const std::string t199(199, 'T');
  const struct {
    std::string text;
    bool found;
    std::string model, version;
  } cases[] = {
      {"SYSFILE PLX-8 V2.00", true, "PLX-8", "V2.00"},
      {"SYSFILEPLX-8 V2.00", true, "PLX-8", "V2.00"},
      {"SYSFILE \t\n\v\f\rPLX-8\tV2.5xyz and more", true, "PLX-8", "V2.5xyz"},
      {"SYSFILE PLX-8 2.00", true, "PLX-8", "2.00"},
      {"SYSFILE pl\xA0x V", true, "pl\xA0x", "V"},
      {"SYSFILE " + t199 + " " + t199, true, t199, t199},
      {"SYSFILE " + t199 + "T V2.50", false, "", ""},
      {"SYSFILE PLX-8 " + t199 + "T", false, "", ""},
      {" SYSFILE PLX-8 V2.00", false, "", ""},
      {"sysfile PLX-8 V2.00", false, "", ""},
      {"SYSFIL PLX-8 V2.00", false, "", ""},
      {"SYSFILE PLX-8", false, "", ""},
      {"SYSFILE PLX-8 ", false, "", ""},
      {"SYSFILE", false, "", ""},
      {"", false, "", ""},
  };
  for (const auto& c : cases) {
    IdentificationTokens tokens;
    ASSERT_EQ(scan_identification(test::bytes_of(c.text), tokens), c.found) << c.text;
    if (!c.found) continue;
    EXPECT_EQ(tokens.model.c_str(), c.model);
    EXPECT_EQ(tokens.version.c_str(), c.version);
  }
}

// An image of `size` bytes (filled with 0x11) carrying `ident` at `offset`, NUL-terminated.
std::vector<std::uint8_t> image_with(std::size_t size, std::size_t offset,
                                     const std::string& ident) {
  std::vector<std::uint8_t> image(size, 0x11);
  if (offset + ident.size() < size) {
    std::memcpy(image.data() + offset, ident.data(), ident.size());
    image[offset + ident.size()] = 0;
  }
  return image;
}

struct Outcome {
  Identification id;
  std::string printed;
  std::size_t bytes_read;
  Headers headers;
};

Outcome identify(const std::vector<std::uint8_t>& image) {
  Outcome out;
  MemoryFiles files(image, {}, {});
  test::Captured sink;
  Console console(sink);
  out.id = identify_system_file(*files.open_input(), out.headers, console);
  out.printed = std::string(sink.text());
  out.bytes_read = files.bytes_read;
  return out;
}

const std::string kReadIn250 = "System file >> V2.50 << for Motion Control Unit PLX-8 read in!\n";

TEST(IdentifySystemFile, Outcomes) {
  const std::string long_token(200, 'L');
  const struct {
    const char* name;
    std::vector<std::uint8_t> image;
    bool identified;
    HeaderKind header;
    std::string printed;
    std::size_t bytes_read;
  } cases[] = {
      {"short header", image_with(128, 30, "SYSFILE PLX-8 V2.50"), true, HeaderKind::short_header,
       kReadIn250, 128},
      {"fewer than 128 bytes", image_with(127, 30, "SYSFILE PLX-8 V2.50"), false,
       HeaderKind::short_header, "", 127},
      {"short header without V: long header not tried", image_with(2000, 30, "SYSFILE PLX-8 2.00"),
       false, HeaderKind::short_header,
       "System file >> 2.00 << for Motion Control Unit PLX-8 read in!\n", 128},
      {"lower-case v", image_with(128, 30, "SYSFILE PLX-8 v2.50"), false, HeaderKind::short_header,
       "System file >> v2.50 << for Motion Control Unit PLX-8 read in!\n", 128},
      {"long header", image_with(1024, 516, "SYSFILE PLX-8 V2.50"), true, HeaderKind::long_header,
       kReadIn250, 1024},
      {"short header stops after the model token, file under 1024 bytes",
       image_with(1023, 30, "SYSFILE PLX-8"), false, HeaderKind::short_header, "", 1023},
      {"neither header", image_with(4000, 516, "SYSFILE PLX-8"), false, HeaderKind::short_header,
       "", 1024},
      {"over-long token in the long header", image_with(1024, 516, "SYSFILE PLX-8 V" + long_token),
       false, HeaderKind::short_header, "", 1024},
      {"identification string running to the end of the short header",
       [] {
         auto im = image_with(128, 30, "");
         const std::string s = "SYSFILE PLX-8 V2.50";
         std::fill(im.begin() + 30, im.end(), 'X');
         std::memcpy(im.data() + 30, s.data(), s.size());
         return im;
       }(),
       true, HeaderKind::short_header,
       "System file >> V2.50" + std::string(128 - 30 - 19, 'X') +
           " << for Motion Control Unit PLX-8 read in!\n",
       128},
  };
  for (const auto& c : cases) {
    const Outcome out = identify(c.image);
    EXPECT_EQ(out.id.identified, c.identified) << c.name;
    if (c.identified) {
      EXPECT_EQ(out.id.header, c.header) << c.name;
    }
    EXPECT_EQ(out.printed, c.printed) << c.name;
    EXPECT_EQ(out.bytes_read, c.bytes_read) << c.name;
  }
}

TEST(IdentifySystemFile, HeaderRecordsHoldTheFilesFirstBytes) {
  std::vector<std::uint8_t> image = image_with(1500, 516, "SYSFILE PLX-4K V2.10");
  for (std::size_t i = 0; i < image.size(); ++i)
    if (i < 516 || i > 540) image[i] = static_cast<std::uint8_t>(i * 7 + 1);
  const Outcome fallback = identify(image);
  ASSERT_TRUE(fallback.id.identified);
  EXPECT_TRUE(std::equal(fallback.headers.short_form.begin(), fallback.headers.short_form.end(),
                         image.begin()));
  EXPECT_TRUE(std::equal(fallback.headers.long_form.begin(), fallback.headers.long_form.end(),
                         image.begin()));

  const Outcome shortform = identify(image_with(1500, 30, "SYSFILE PLX-8 V2.10"));
  ASSERT_TRUE(shortform.id.identified);
  EXPECT_TRUE(std::all_of(shortform.headers.long_form.begin(), shortform.headers.long_form.end(),
                          [](std::uint8_t b) { return b == 0; }));
}

}  // namespace
}  // namespace datlift
