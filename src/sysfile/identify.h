// SPDX-License-Identifier: MIT
// Identification of a system file by the identification string in its header.
#pragma once

#include <array>
#include <cstddef>

#include "common/bytes.h"
#include "common/console.h"
#include "common/input.h"
#include "sysfile/layout.h"

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

// Scans an identification string: the text runs from the field's start to its first NUL or the
// end of the header. It must begin with "SYSFILE"; white space may follow or not; then the model
// token and, after white space, the version token, each a run of characters other than white
// space ("C" locale). A token longer than kMaxTokenLength fails the scan as if there were none.
bool scan_identification(ConstBytes text, IdentificationTokens& tokens);

// The file's header in both forms: a short header is the first 128 bytes of a long one.
struct Headers {
  ByteArray<kShortHeader.size> short_form{};
  ByteArray<kLongHeader.size> long_form{};
  Bytes of(HeaderKind kind) {
    return kind == HeaderKind::short_header ? Bytes(short_form) : Bytes(long_form);
  }
  ConstBytes of(HeaderKind kind) const { return const_cast<Headers*>(this)->of(kind); }
};

struct Identification {
  bool identified = false;
  HeaderKind header = HeaderKind::short_header;  // where the blocks begin: 128 or 1024
  IdentificationTokens tokens;
};

// Reads the short header and, when its identification string does not yield both tokens, the
// long header; prints the read-in line whenever a header yields both. Fills the short header
// (the file's first 128 bytes) and, on fallback, the long header. On success the input stands at
// the first block.
Identification identify_system_file(InputStream& input, Headers& headers, Console& console);

}  // namespace datlift
