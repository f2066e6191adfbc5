// SPDX-License-Identifier: MIT
// The MCFG block: the 460 bytes that are the whole of MCFG.DAT, default settings made of
// little-endian int32 and IEEE 754 double values and seven 16-byte colour names. The record is
// packed: several doubles start at offsets that are not multiples of 8.
#pragma once

#include <cstddef>

#include "common/bytes.h"
#include "mcfg/mcfg_layout.h"

namespace datlift {

struct McfgBlock {
  ByteArray<kMcfgSize> bytes{};
  // Set once an upgrade step has filled the block. A block no step filled is never written, so an
  // existing MCFG.DAT is never replaced by one.
  bool filled = false;
};

// Sets the block to the MCFG default image: every field to its default, every other byte zero.
void fill_mcfg_defaults(McfgBlock& block);

// The MCFG default image itself.
const ByteArray<kMcfgSize>& mcfg_default_image();

}  // namespace datlift
