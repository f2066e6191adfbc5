// SPDX-License-Identifier: MIT
#include "upgrade/working_set.h"

#include <algorithm>

namespace datlift {

void WorkingSet::compose(const Version& version, SystemImage& image) const {
  ConstBlocks blocks;
  const Blocks own = const_cast<WorkingSet*>(this)->blocks(version.number);
  std::copy(own.begin(), own.end(), blocks.begin());
  compose_system_file(headers.of(version.header), header_form(version.header),
                      block(version.tail.version, version.tail.kind), blocks, image);
}

void WorkingSet::clear() {
  headers = Headers{};
  std::fill(arena_.begin(), arena_.end(), std::uint8_t{0});
}

}  // namespace datlift
