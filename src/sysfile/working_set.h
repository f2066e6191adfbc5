// SPDX-License-Identifier: MIT
// The in-memory image of a system file in every layout at once: one instance per header form and
// per block layout, each the exact byte image of its block on disk. An upgrade step reads the
// instances of the older version and fills those of the newer one; an instance that two versions
// share passes from one to the other untouched.
#pragma once

#include <array>
#include <cstdint>

#include "common/bytes.h"
#include "sysfile/layout.h"

namespace datlift {

struct WorkingSet {
  ByteArray<kShortHeader.size> short_header{};
  ByteArray<kLongHeader.size> long_header{};
  ByteArray<kAxisCount * kAxisRecord171> axis_records_584{};
  ByteArray<kAxisCount * kAxisRecord200> axis_records_676{};
  ByteArray<kAxisCount * kAxisRecord250> axis_records_680{};
  ByteArray<kAxisCount * kNameEntry39> names_39{};
  ByteArray<kAxisCount * kNameEntry40> names_40{};
  ByteArray<kGeneral25> general_25{};
  ByteArray<kGeneral28> general_28{};
  ByteArray<kAxisCount * kTableARow14> table_a_14{};
  ByteArray<kAxisCount * kTableARow32> table_a_32_v200{};
  ByteArray<kAxisCount * kTableARow32> table_a_32_v210{};
  ByteArray<kAxisCount * kTableBRow9> table_b_9{};
  ByteArray<kAxisCount * kTableBRow16> table_b_16{};

  Bytes instance(Instance id);
  ConstBytes instance(Instance id) const { return const_cast<WorkingSet*>(this)->instance(id); }
};

}  // namespace datlift
