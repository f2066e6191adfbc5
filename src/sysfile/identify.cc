// SPDX-License-Identifier: MIT
#include "sysfile/identify.h"

#include <algorithm>

#include "common/messages.h"

namespace datlift {
namespace {

// White space as the C library's "C" locale knows it.
bool is_space(std::uint8_t c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Scans one white-space-delimited token starting at pos, after skipping white space.
bool scan_token(ConstBytes text, std::size_t& pos, Token& token) {
  while (pos < text.size() && is_space(text[pos])) ++pos;
  const std::size_t start = pos;
  while (pos < text.size() && !is_space(text[pos])) ++pos;
  const std::size_t length = pos - start;
  if (length == 0 || length > kMaxTokenLength) return false;
  std::copy_n(text.begin() + static_cast<std::ptrdiff_t>(start), length, token.text.begin());
  token.text[length] = 0;
  return true;
}

// The identification string of a header: from its field to the first NUL or the header's end.
ConstBytes identification_text(ConstBytes header, const HeaderForm& form) {
  ConstBytes rest = header.subspan(form.ident.offset);
  return rest.first(text_length(rest));
}

bool scan_header(ConstBytes header, const HeaderForm& form, IdentificationTokens& tokens,
                 Console& console) {
  if (!scan_identification(identification_text(header, form), tokens)) return false;
  message::read_in(console, tokens.version.c_str(), tokens.model.c_str());
  return true;
}

}  // namespace

bool scan_identification(ConstBytes text, IdentificationTokens& tokens) {
  constexpr char kWord[] = "SYSFILE";
  constexpr std::size_t kWordLength = sizeof kWord - 1;
  if (text.size() < kWordLength || !std::equal(kWord, kWord + kWordLength, text.begin()))
    return false;
  std::size_t pos = kWordLength;
  IdentificationTokens found;
  if (!scan_token(text, pos, found.model) || !scan_token(text, pos, found.version)) return false;
  tokens = found;
  return true;
}

Identification identify_system_file(InputStream& input, Headers& headers, Console& console) {
  Identification result;
  if (input.read(headers.short_form) < headers.short_form.size()) return result;

  if (scan_header(headers.short_form, kShortHeader, result.tokens, console)) {
    result.header = HeaderKind::short_header;
  } else {
    // The long header begins with the same 128 bytes, which are already in hand: only the rest
    // is read, so that no byte of the file is read twice.
    std::copy(headers.short_form.begin(), headers.short_form.end(), headers.long_form.begin());
    const Bytes rest = Bytes(headers.long_form).subspan(kShortHeader.size);
    if (input.read(rest) < rest.size()) return result;
    if (!scan_header(headers.long_form, kLongHeader, result.tokens, console)) return result;
    result.header = HeaderKind::long_header;
  }
  result.identified = result.tokens.version.text[0] == 'V';
  return result;
}

}  // namespace datlift
