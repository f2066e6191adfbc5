// SPDX-License-Identifier: MIT
// Writes the seed corpus: one valid file of every layout behind each header form, with a few
// argument lists, in the fuzz target's input format.
#include <cstdio>
#include <string>
#include <vector>

#include "support/sample_image.h"

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const std::string dir = argv[1];
  const std::vector<std::string> arg_lists = {"",       "/AX\n/AY", "/V2.10",
                                              "/V2.00", "/NC",      "/PLX-8200\n/AAXIS"};
  int n = 0;
  for (int version : {171, 200, 210, 250}) {
    for (auto form : {sample::HeaderForm::short_form, sample::HeaderForm::long_form}) {
      sample::SampleRecipe recipe;
      recipe.version = version;
      recipe.header = form;
      const std::vector<std::uint8_t> image = sample::build_system_dat(recipe);
      for (const std::string& args : arg_lists) {
        const std::string path = dir + "/seed-" + std::to_string(++n);
        std::FILE* f = std::fopen(path.c_str(), "wb");
        if (f == nullptr) return 1;
        std::fputc(static_cast<int>(args.size()), f);
        std::fwrite(args.data(), 1, args.size(), f);
        std::fwrite(image.data(), 1, image.size(), f);
        if (std::fclose(f) != 0) return 1;
      }
    }
  }
  return 0;
}
