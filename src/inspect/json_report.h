// SPDX-License-Identifier: MIT
// The report of a file as one JSON object, for scripts and inventories; fields that the file does
// not hold are null.
#pragma once

#include "inspect/inspect.h"
#include "inspect/run_args.h"
#include "inspect/writer.h"

namespace datlift::inspect {

// With "run" where `args` are given.
void write_system_json(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run);
void write_mcfg_json(Writer& w, const char* path, ConstBytes bytes, const McfgReport& r);

}  // namespace datlift::inspect
