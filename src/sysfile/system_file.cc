// SPDX-License-Identifier: MIT
#include "sysfile/system_file.h"

namespace datlift {

ExitCode read_system_blocks(InputStream& input, const Blocks& blocks) {
  for (std::size_t k = 0; k < kBlockKinds; ++k) {
    if (input.read(blocks[k]) < blocks[k].size()) return kBlockKindInfo[k].missing;
  }
  return ExitCode::ok;
}

void compose_system_file(ConstBytes header, const HeaderForm& form, ConstBytes tail,
                         const ConstBlocks& blocks, SystemImage& image) {
  image.count = 0;
  image.parts[image.count++] = header.first(form.tail.offset);
  image.parts[image.count++] = tail.first(form.tail.size);
  for (const ConstBytes block : blocks) image.parts[image.count++] = block;
}

}  // namespace datlift
