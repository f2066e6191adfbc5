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

void write_system_file(int version, WorkingSet& ws, SystemImage& image) {
  image.size = 0;
  const VersionLayout* layout = find_layout(version);
  if (layout == nullptr || version == kV171) return;
  const Bytes out(image.bytes);
  auto append = [&](ConstBytes part) {
    std::copy(part.begin(), part.end(), out.begin() + static_cast<std::ptrdiff_t>(image.size));
    image.size += part.size();
  };

  const HeaderForm& form = header_form(layout->written_header);
  append(ws.header(layout->written_header));
  const ConstBytes tail_source = layout->written_header == HeaderKind::short_header
                                     ? ConstBytes(ws.names_39)
                                     : ConstBytes(ws.axis_records_680);
  const ConstBytes tail = tail_source.first(form.tail.size);
  std::copy(tail.begin(), tail.end(), out.begin() + static_cast<std::ptrdiff_t>(form.tail.offset));

  for (const Block& block : layout->blocks) append(ws.instance(block.instance));
}

}  // namespace datlift
