// SPDX-License-Identifier: MIT
// Why a run refuses a file, in one line of words with the numbers: for people, on datlift's
// standard error when that is a terminal, and in datlift-inspect's report. Each line is printed
// before the refusal's own message.
#pragma once

#include <cstdint>

#include "common/console.h"
#include "sysfile/layout.h"
#include "upgrade/versions.h"

namespace datlift::explain {

void bad_identification(Console& c);
void unknown_model(Console& c, const char* model_token);
void no_layout(Console& c, const char* version_token, Versions versions);
// The version's files are converted for some models only.
void models_only(Console& c, const Version& version);
// The file ends inside a block: it holds `held` of the `needed` bytes up to that block's end.
void block_missing(Console& c, BlockKind block, std::uint64_t held, std::uint64_t needed,
                   const Version& version);
void newest(Console& c, Versions versions);
void downgrade(Console& c, int file_version, int target);
void other_family(Console& c, const char* file_model, const char* selected_model);
void only_upward(Console& c, int working, int target);
void unknown_target(Console& c, double target_value, Versions versions);

}  // namespace datlift::explain
