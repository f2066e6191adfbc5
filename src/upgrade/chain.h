// SPDX-License-Identifier: MIT
// The upgrade chain: for each working version, the step that runs, the version it leads to, the
// models it converts, and whether it fills the MCFG block; and the rules of a run that follow from
// it. Run control asks it; these rules are stated here and nowhere else.
#pragma once

#include <cstddef>

#include "mcfg/mcfg_block.h"
#include "sysfile/layout.h"
#include "sysfile/model.h"
#include "upgrade/upgrade.h"

namespace datlift {

struct ChainLink {
  int from;  // the working version the step starts from
  void (*step)(StepContext&);
  int to;  // the working version after it
  // V1.71 files exist for PLX-8 only, and convert for it only.
  bool plx_8_only;
  bool fills_mcfg;  // with the MCFG default image
};

inline constexpr ChainLink kChain[] = {
    {kV171, upgrade_v171_to_v200, kV200, true, false},
    {kV200, upgrade_v200_to_v210, kV210, false, true},
    {kV210, upgrade_v210_to_v250, kV250, false, true},
    {kV250, refresh_v250, kV250, false, false},  // the last: nothing is newer
};

// The version that every conversion ends in, the default target.
constexpr int kNewestVersion = kChain[std::size(kChain) - 1].to;

// The link that starts from a working version, or nullptr where the chain has none.
constexpr const ChainLink* chain_link(int working_version) {
  for (const ChainLink& link : kChain)
    if (link.from == working_version) return &link;
  return nullptr;
}

// Whether a file of this version and model can enter the chain at all (checked before its blocks
// are read).
constexpr bool chain_accepts_file(int version, Model file_model) {
  const ChainLink* link = chain_link(version);
  return link != nullptr && (!link->plx_8_only || file_model == Model::plx_8);
}

// Whether the link converts a file of this model for the selected model.
constexpr bool link_converts(const ChainLink& link, Model file_model, Model selected) {
  return !link.plx_8_only || (file_model == Model::plx_8 && selected == Model::plx_8);
}

// A file of the newest version, for its own model and without names to set: nothing to change.
constexpr bool nothing_to_change(int file_version, Model file_model, Model selected,
                                 std::size_t names) {
  return file_version == kNewestVersion && selected == file_model && names == 0;
}

// Whether the upgrade loop makes another pass: the body runs once, then again while the working
// version is below the target; a pass made with the newest version is the last.
constexpr bool another_pass(int working, int target) {
  return working < target && working < kNewestVersion;
}

// Prints the link's conversion line, runs its step on the working set, and fills the MCFG block
// where the link does.
void run_link(const ChainLink& link, StepContext& step, McfgBlock& mcfg);

// MCFG.DAT is written for the models that get one, when a step of the run filled the block: an
// existing MCFG.DAT is never replaced by a block that no step filled.
constexpr bool mcfg_file_due(Model selected, const McfgBlock& mcfg) {
  return model_info(selected).gets_mcfg && mcfg.filled;
}

}  // namespace datlift
