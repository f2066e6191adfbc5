// SPDX-License-Identifier: MIT
#include "upgrade/chain.h"

#include "common/messages.h"

namespace datlift {

void run_link(const ChainLink& link, StepContext& step, McfgBlock& mcfg) {
  message::conversion(step.console, model_code(step.file_model), link.from->text,
                      model_code(step.selected_model), link.to->text);
  link.step(step);
  if (link.fills_mcfg) fill_mcfg_defaults(mcfg);
}

}  // namespace datlift
