// SPDX-License-Identifier: MIT
#include "upgrade/chain.h"

namespace datlift {

void run_link(const ChainLink& link, StepContext& step, McfgBlock& mcfg) {
  link.step(step);
  if (link.fills_mcfg) fill_mcfg_defaults(mcfg);
}

}  // namespace datlift
