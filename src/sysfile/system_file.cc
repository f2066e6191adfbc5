// SPDX-License-Identifier: MIT
#include "sysfile/system_file.h"

#include <algorithm>

namespace datlift {

int read_system_blocks(InputStream& input, int version, WorkingSet& ws) {
  const VersionLayout* layout = find_layout(version);
  if (layout == nullptr) return kStatusAxisRecords;
  for (const Block& block : layout->blocks) {
    if (input.read(ws.instance(block.instance)) < block.size) return block.missing_status;
  }
  return 0;
}

void write_system_file(int version, const WorkingSet& ws, SystemImage& image) {
  image.count = 0;
  const VersionLayout* layout = find_layout(version);
  if (layout == nullptr || version == kV171) return;
  auto add = [&](ConstBytes part) { image.parts[image.count++] = part; };

  const HeaderForm& form = header_form(layout->written_header);
  const bool short_form = layout->written_header == HeaderKind::short_header;
  const ConstBytes header = short_form ? ConstBytes(ws.short_header) : ConstBytes(ws.long_header);
  const ConstBytes tail_source =
      short_form ? ConstBytes(ws.names_39) : ConstBytes(ws.axis_records_680);
  add(header.first(form.tail.offset));
  add(tail_source.first(form.tail.size));
  for (const Block& block : layout->blocks) add(ws.instance(block.instance));
}

}  // namespace datlift
