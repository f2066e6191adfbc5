// SPDX-License-Identifier: MIT
#include <cstring>

#include "upgrade/upgrade.h"

namespace datlift {

void apply_name_overrides(const StepContext& step) {
  const Bytes table = step.ws.block(step.to.number, BlockKind::axis_names);
  const NameOverrides& names = step.names;
  for (std::size_t i = 0; i < names.count && i < kAxisCount; ++i) {
    const char* name = names.slots[i].data();
    const Bytes entry = table.subspan(i * kNameEntry40, kNameField40);
    store_text(entry, std::string_view(name, strnlen(name, kMaxOverrideName)));
  }
}

}  // namespace datlift
