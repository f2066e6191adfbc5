// SPDX-License-Identifier: MIT
// The upgrade chain, as a table of versions makes it: from each version the step to the next, and
// from the newest its refresh; and the rules of a run that follow from it. Run control asks it;
// these rules are stated here and nowhere else.
#pragma once

#include <cstddef>

#include "mcfg/mcfg_block.h"
#include "sysfile/model.h"
#include "upgrade/upgrade.h"
#include "upgrade/versions.h"

namespace datlift {

// One pass of the upgrade loop: from a working version to the version after it (the step that
// makes it), or from the newest to itself (its refresh).
struct ChainLink {
  const Version* from = nullptr;
  const Version* to = nullptr;
  Step step = nullptr;
  bool fills_mcfg = false;  // with the MCFG default image
};

// The link that starts from a working version; none (from == nullptr) where the table has no such
// version.
constexpr ChainLink chain_link(Versions versions, int working_version) {
  for (std::size_t i = 0; i < versions.size(); ++i) {
    if (versions[i].number != working_version) continue;
    if (i + 1 == versions.size()) return {&versions[i], &versions[i], versions[i].refresh, false};
    const Version& next = versions[i + 1];
    return {&versions[i], &next, next.step, next.fills_mcfg};
  }
  return {};
}

// Whether a file of this version and model can enter the chain at all (checked before its blocks
// are read).
constexpr bool chain_accepts_file(Versions versions, int version, Model file_model) {
  const Version* v = find_version(versions, version);
  return v != nullptr && v->takes.has(file_model);
}

// Whether the link converts a file of this model for the selected model.
constexpr bool link_converts(const ChainLink& link, Model file_model, Model selected) {
  return link.from->takes.has(file_model) && link.from->takes.has(selected);
}

// A file of the newest version, for its own model and without names to set: nothing to change.
constexpr bool nothing_to_change(Versions versions, int file_version, Model file_model,
                                 Model selected, std::size_t names) {
  return file_version == newest(versions).number && selected == file_model && names == 0;
}

// Whether the upgrade loop makes another pass: the body runs once, then again while the working
// version is below the target; a pass made with the newest version is the last.
constexpr bool another_pass(Versions versions, int working, int target) {
  return working < target && working < newest(versions).number;
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
