// SPDX-License-Identifier: MIT
#include <cstring>

#include "sysfile/layout.h"
#include "upgrade/upgrade.h"

namespace datlift {

void renew_header(const StepContext& step) {
  const HeaderForm& form = header_form(step.to.header);
  const Bytes header = step.ws.headers.of(step.to.header);
  empty_text(field(header, form.text1));
  empty_text(field(header, form.text2));
  const Bytes ident = field(header, form.ident);
  std::size_t pos = 0;
  for (const char* part : {"SYSFILE ", model_code(step.selected_model), " V", step.to.text}) {
    const std::size_t length = std::strlen(part);
    std::memcpy(ident.data() + pos, part, length);
    pos += length;
  }
  ident[pos] = 0;
}

}  // namespace datlift
