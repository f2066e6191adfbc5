// SPDX-License-Identifier: MIT
// Identification of a system file by the identification string in its header.
#pragma once

#include <array>
#include <cstddef>

#include "common/bytes.h"
#include "common/console.h"
#include "common/input.h"
#include "sysfile/layout.h"
#include "sysfile/working_set.h"

namespace datlift {

// A token of the identification string, NUL-terminated; at most kMaxTokenLength characters.
constexpr std::size_t kMaxTokenLength = 199;
struct Token {
  std::array<char, kMaxTokenLength + 1> text{};
  const char* c_str() const { return text.data(); }
};

struct IdentificationTokens {
  Token model;
  Token version;
};

// Scans an identification string as the formatted-input directive "SYSFILE %s %s" does: the text
// runs from the field's start to its first NUL or the end of the header. It must begin with
// "SYSFILE"; white space may follow or not; then the model token and, after white space, the
// version token. A token longer than kMaxTokenLength fails the scan as if there were none.
bool scan_identification(ConstBytes text, IdentificationTokens& tokens);

struct Identification {
  bool identified = false;
  HeaderKind header = HeaderKind::short_header;  // where the blocks begin: 128 or 1024
  IdentificationTokens tokens;
};

// Reads the short header and, when its identification string does not yield both tokens, the
// long header; prints the read-in line whenever a header yields both. Fills the working set's
// short header (the file's first 128 bytes) and, on fallback, its long header. On success the
// input stands at the first block.
Identification identify_system_file(InputStream& input, WorkingSet& ws, Console& console);

}  // namespace datlift
