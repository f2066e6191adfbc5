// SPDX-License-Identifier: MIT
// Writes the seed corpus: one valid file of every layout behind each header form, with a few
// argument lists, and the MCFG block's default image, in the fuzz targets' input format.
#include <cstdio>
#include <string>
#include <vector>

#include "mcfg/mcfg_block.h"
#include "support/sample_image.h"

bool write_seed(const std::string& path, const std::string& args,
                const std::vector<std::uint8_t>& file) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr) return false;
  std::fputc(static_cast<int>(args.size()), f);
  std::fwrite(args.data(), 1, args.size(), f);
  std::fwrite(file.data(), 1, file.size(), f);
  return std::fclose(f) == 0;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const std::vector<std::string> arg_lists = {"",       "/AX\n/AY", "/V2.10",
                                              "/V2.00", "/NC",      "/PLX-8200\n/AAXIS"};
  int n = 0;
  for (int version : {171, 200, 210, 250}) {
    for (auto form :
         {datlift::test::HeaderChoice::short_form, datlift::test::HeaderChoice::long_form}) {
      datlift::test::SampleRecipe recipe;
      recipe.version = version;
      recipe.header = form;
      const std::vector<std::uint8_t> image = datlift::test::build_system_dat(recipe);
      for (const std::string& args : arg_lists)
        if (!write_seed(dir + "/seed-" + std::to_string(++n), args, image)) return 1;
    }
  }
  // The MCFG block as datlift writes it, for datlift-inspect's decoding.
  const auto& mcfg = datlift::mcfg_default_image();
  return write_seed(dir + "/seed-mcfg", "", {mcfg.begin(), mcfg.end()}) ? 0 : 1;
}
