// SPDX-License-Identifier: MIT
// The report of a file as text, for people: one "label: value" line per fact.
#pragma once

#include "inspect/inspect.h"
#include "inspect/run_args.h"
#include "inspect/writer.h"

namespace datlift::inspect {

// With the dry run where `args` are given.
void write_system_text(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run);
void write_mcfg_text(Writer& w, const char* path, ConstBytes bytes, const McfgReport& r);

}  // namespace datlift::inspect
