// SPDX-License-Identifier: MIT
// mksample: writes a SYSTEM.DAT image of a chosen layout and content.
//
//   mksample OUT [--version 1.71|2.00|2.10|2.50] [--model CODE] [--version-token TEXT]
//                [--ident TEXT] [--header short|long] [--name N=TEXT]... [--general TEXT]
//                [--text1 TEXT] [--text2 TEXT] [--text3 TEXT] [--seed N]
//                [--truncate SIZE] [--append COUNT]
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "support/sample_image.h"

namespace {

constexpr char kUsage[] =
    "usage: mksample OUT [--version V] [--model CODE] [--version-token TEXT] [--ident TEXT]\n"
    "                [--header short|long] [--name N=TEXT]... [--general TEXT] [--text1 TEXT]\n"
    "                [--text2 TEXT] [--text3 TEXT] [--seed N] [--truncate SIZE]\n"
    "                [--append COUNT]\n"
    "       mksample --help\n"
    "Writes a SYSTEM.DAT image of the chosen layout and content to OUT.\n";

int usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) try {
  if (argc < 2) return usage();
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  // An option where the output file belongs is a mistake, not a file name.
  if (argv[1][0] == '-') {
    std::fprintf(stderr, "mksample: unknown option %s\n", argv[1]);
    return usage();
  }
  datlift::test::SampleRecipe recipe;
  long truncate = -1;
  long append = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string opt = argv[i];
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    if (opt == "--version") {
      recipe.version = static_cast<int>(std::strtod(value.c_str(), nullptr) * 100 + 0.5);
    } else if (opt == "--model") {
      recipe.model = value;
    } else if (opt == "--version-token") {
      recipe.version_token = value;
    } else if (opt == "--ident") {
      recipe.ident = value;
    } else if (opt == "--header") {
      if (value != "short" && value != "long") return usage();
      recipe.header = value == "short" ? datlift::test::HeaderChoice::short_form
                                       : datlift::test::HeaderChoice::long_form;
    } else if (opt == "--name") {
      const auto eq = value.find('=');
      if (eq == std::string::npos) return usage();
      recipe.names.at(std::stoul(value.substr(0, eq))) = value.substr(eq + 1);
    } else if (opt == "--general") {
      recipe.general_text = value;
    } else if (opt == "--text1") {
      recipe.header_text1 = value;
    } else if (opt == "--text2") {
      recipe.header_text2 = value;
    } else if (opt == "--text3") {
      recipe.header_text3 = value;
    } else if (opt == "--seed") {
      recipe.seed = static_cast<std::uint32_t>(std::stoul(value));
    } else if (opt == "--truncate") {
      truncate = std::stol(value);
    } else if (opt == "--append") {
      append = std::stol(value);
    } else {
      std::fprintf(stderr, "mksample: unknown option %s\n", opt.c_str());
      return usage();
    }
  }
  std::vector<std::uint8_t> image = datlift::test::build_system_dat(recipe);
  if (truncate >= 0 && static_cast<std::size_t>(truncate) < image.size())
    image.resize(static_cast<std::size_t>(truncate));
  for (long i = 0; i < append; ++i)
    image.push_back(datlift::test::pattern_byte(recipe.seed + 1, image.size()));
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::perror(argv[1]);
    return 1;
  }
  const bool ok = std::fwrite(image.data(), 1, image.size(), out) == image.size();
  if (std::fclose(out) != 0 || !ok) {
    std::perror(argv[1]);
    return 1;
  }
  return 0;
} catch (const std::exception& e) {
  std::fprintf(stderr, "mksample: %s\n", e.what());
  return 2;
}
