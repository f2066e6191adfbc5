// SPDX-License-Identifier: MIT
#include "support/sample_image.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

namespace datlift::test {
namespace {

constexpr std::size_t kAxes = 18;

void put_text(std::vector<std::uint8_t>& image, std::size_t offset, const std::string& text) {
  if (offset + text.size() + 1 > image.size()) throw std::runtime_error("text beyond the image");
  std::memcpy(image.data() + offset, text.data(), text.size());
  image[offset + text.size()] = 0;
}

}  // namespace

BlockSizes block_sizes(int version) {
  switch (version) {
    case 171:
      return {128, 584, 39, 25, 14 * 4, 18 * 4, 11, 9};
    case 200:
      return {128, 676, 39, 25, 32 * 4, 18 * 4, 11, 9};
    case 210:
      return {128, 676, 40, 28, 32 * 4, 32 * 4, 12, 12};
    case 250:
      return {1024, 680, 40, 28, 32 * 4, 32 * 4, 12, 12};
  }
  throw std::invalid_argument("no layout for this version");
}

std::array<std::size_t, 6> block_offsets(int version, bool long_header) {
  const BlockSizes s = block_sizes(version);
  std::array<std::size_t, 6> at{};
  at[0] = long_header ? 1024 : 128;
  at[1] = at[0] + kAxes * s.axis_record;
  at[2] = at[1] + kAxes * s.name_entry;
  at[3] = at[2] + s.general;
  at[4] = at[3] + kAxes * s.table_a_row;
  at[5] = at[4] + kAxes * s.table_b_row;
  return at;
}

std::uint8_t pattern_byte(std::uint32_t seed, std::size_t offset) {
  const std::uint32_t x = static_cast<std::uint32_t>(offset) * 2654435761u + seed * 40503u;
  const std::uint8_t b = static_cast<std::uint8_t>((x >> 13) ^ (x >> 24));
  return b == 0 ? 0x5A : b;
}

std::vector<std::uint8_t> system_dat(int version, const std::string& model) {
  SampleRecipe recipe;
  recipe.version = version;
  recipe.model = model;
  return build_system_dat(recipe);
}

std::vector<std::uint8_t> build_system_dat(const SampleRecipe& recipe) {
  const BlockSizes s = block_sizes(recipe.version);
  const bool long_header = recipe.header == HeaderChoice::standard
                               ? recipe.version == 250
                               : recipe.header == HeaderChoice::long_form;
  const auto at = block_offsets(recipe.version, long_header);
  std::vector<std::uint8_t> image(at[5]);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = pattern_byte(recipe.seed, i);

  char version_text[32];
  std::snprintf(version_text, sizeof version_text, "V%d.%02d", recipe.version / 100,
                recipe.version % 100);
  const std::string ident =
      !recipe.ident.empty()
          ? recipe.ident
          : "SYSFILE " + recipe.model + " " +
                (recipe.version_token.empty() ? version_text : recipe.version_token);
  if (long_header) {
    put_text(image, 4, recipe.header_text1);
    put_text(image, 260, recipe.header_text2);
    put_text(image, 556, recipe.header_text3);
    put_text(image, 516, ident);
  } else {
    put_text(image, 4, recipe.header_text1);
    put_text(image, 17, recipe.header_text2);
    put_text(image, 55, recipe.header_text3);
    put_text(image, 30, ident);  // last: a long string may run on into header text 3
  }
  for (std::size_t k = 0; k < kAxes; ++k) {
    const std::string name = recipe.names[k].empty() ? "AXIS" + std::to_string(k) : recipe.names[k];
    if (name.size() >= s.name_field) throw std::invalid_argument("axis name too long");
    put_text(image, at[1] + k * s.name_entry, name);
  }
  if (recipe.general_text.size() >= s.general_text) throw std::invalid_argument("text too long");
  put_text(image, at[2], recipe.general_text);
  return image;
}

}  // namespace datlift::test
