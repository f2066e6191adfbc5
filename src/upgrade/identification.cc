#include <cstring>

#include "upgrade/upgrade.h"

namespace datlift {

void store_identification(Bytes field, Model model, const char* version) {
  std::size_t pos = 0;
  for (const char* part : {"SYSFILE ", model_code(model), " V", version}) {
    const std::size_t length = std::strlen(part);
    std::memcpy(field.data() + pos, part, length);
    pos += length;
  }
  field[pos] = 0;
}

}  // namespace datlift
