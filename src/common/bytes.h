// SPDX-License-Identifier: MIT
// Byte-level access to the packed, little-endian images of SYSTEM.DAT and MCFG.DAT.
//
// Every field of both files sits at a fixed byte offset with no alignment, so fields are read and
// written here byte by byte with shifts, never through host integers, structs or pointer casts.
// Text fields are fixed-width and hold 8-bit characters ended by a NUL inside the field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

namespace datlift {

using Bytes = std::span<std::uint8_t>;
using ConstBytes = std::span<const std::uint8_t>;

// A record or block of fixed size, held by value.
template <std::size_t N>
using ByteArray = std::array<std::uint8_t, N>;

// The bits of an IEEE 754 double, and the double of its bits: std::bit_cast, which not every C++
// library has yet (the compilers' own built-in serves GCC and clang alike).
constexpr std::uint64_t bits_of_double(double value) {
  return __builtin_bit_cast(std::uint64_t, value);
}
constexpr double double_of_bits(std::uint64_t bits) {
  return __builtin_bit_cast(double, bits);
}

// A field of a record: its offset and width in bytes.
struct Field {
  std::size_t offset;
  std::size_t size;
};

constexpr Bytes field(Bytes record, Field f) {
  return record.subspan(f.offset, f.size);
}
constexpr ConstBytes field(ConstBytes record, Field f) {
  return record.subspan(f.offset, f.size);
}
template <std::size_t N>
constexpr Bytes field(std::array<std::uint8_t, N>& record, Field f) {
  return Bytes(record).subspan(f.offset, f.size);
}
template <std::size_t N>
constexpr ConstBytes field(const std::array<std::uint8_t, N>& record, Field f) {
  return ConstBytes(record).subspan(f.offset, f.size);
}

constexpr void store_le32(Bytes dst, std::size_t offset, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) dst[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr void store_le64(Bytes dst, std::size_t offset, std::uint64_t value) {
  for (std::size_t i = 0; i < 8; ++i) dst[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr std::uint16_t load_le16(ConstBytes src, std::size_t offset) {
  return static_cast<std::uint16_t>(src[offset] | (src[offset + 1] << 8));
}

constexpr std::uint32_t load_le32(ConstBytes src, std::size_t offset) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value |= std::uint32_t{src[offset + i]} << (8 * i);
  return value;
}

constexpr std::uint64_t load_le64(ConstBytes src, std::size_t offset) {
  std::uint64_t value = 0;
  for (std::size_t i = 0; i < 8; ++i) value |= std::uint64_t{src[offset + i]} << (8 * i);
  return value;
}

// Length of the text held in a field: up to its first NUL, or the whole field when it has none.
constexpr std::size_t text_length(ConstBytes field) {
  std::size_t n = 0;
  while (n < field.size() && field[n] != 0) ++n;
  return n;
}

// Stores a text and one NUL at the start of a field; the bytes behind that NUL keep what they
// held. The caller guarantees that text and NUL fit (every text the program stores does).
constexpr void store_text(Bytes field, ConstBytes text) {
  for (std::size_t i = 0; i < text.size(); ++i) field[i] = text[i];
  field[text.size()] = 0;
}

constexpr void store_text(Bytes field, std::string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) field[i] = static_cast<std::uint8_t>(text[i]);
  field[text.size()] = 0;
}

// Emptying a field writes only the NUL into its first byte.
constexpr void empty_text(Bytes field) {
  field[0] = 0;
}

}  // namespace datlift
