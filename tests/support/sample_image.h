// SPDX-License-Identifier: MIT
// Builds SYSTEM.DAT images of every layout version and both header forms from chosen field
// contents, for the samples that ship with the project and for the tests.
//
// It states the file layout on its own, apart from the program's tables, so that a test that
// feeds the program one of its images checks the program against a second statement of the
// format.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace datlift::test {

enum class HeaderChoice { standard, short_form, long_form };  // standard: long for V2.50 only

struct SampleRecipe {
  int version = 210;            // block layout: 171, 200, 210 or 250
  std::string model = "PLX-8";  // model token of the identification string
  std::string version_token;    // default: "V" and the version, e.g. "V2.10"
  std::string ident;            // the whole identification string, when given
  HeaderChoice header = HeaderChoice::standard;
  std::string header_text1 = "HEADER TEXT1";
  std::string header_text2 = "HEADER TEXT2";
  std::string header_text3 = "HEADER TEXT3";
  std::array<std::string, 18> names{};  // empty: "AXIS<n>"
  std::string general_text = "GENERAL";
  // Every byte that no text covers holds a pattern of this seed (never 0), so that each field
  // can be found again after a conversion. Text fields hold their text, a NUL, then pattern.
  std::uint32_t seed = 1;
};

struct BlockSizes {
  std::size_t header, axis_record, name_entry, general, table_a_row, table_b_row;
  std::size_t name_field, general_text;
};

// Sizes of the version's layout as written (the header as standard for the version).
BlockSizes block_sizes(int version);

// Offset of each block in an image of that version and header form, in file order: header end,
// axis records, axis names, general record, table A, table B, end of file.
std::array<std::size_t, 6> block_offsets(int version, bool long_header);

std::vector<std::uint8_t> build_system_dat(const SampleRecipe& recipe);

// A whole file of a version and model, with every other choice as the recipe's defaults.
std::vector<std::uint8_t> system_dat(int version, const std::string& model = "PLX-8");

// The bytes of a text, for comparing with fields.
inline std::vector<std::uint8_t> bytes_of(const std::string& s) {
  return {s.begin(), s.end()};
}

// The pattern byte of a seed at a file offset.
std::uint8_t pattern_byte(std::uint32_t seed, std::size_t offset);

}  // namespace datlift::test
