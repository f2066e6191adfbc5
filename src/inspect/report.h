// SPDX-License-Identifier: MIT
// The report of one file, as datlift-inspect writes it: an MCFG file (named MCFG.DAT, in any
// case) or a system file with datlift's verdict and, where options are given, its dry run. The
// command and the page in the browser write the same.
#pragma once

#include "inspect/inspect.h"
#include "inspect/run_args.h"
#include "inspect/writer.h"

namespace datlift::inspect {

// What a report needs, in fixed storage.
struct Reports {
  Workspace space;
  SystemReport system;
  RunReport run;
  McfgReport mcfg;
};

// Writes the report of the file at `path` (its first bytes in `head`, `size` in all), as text or
// JSON. False where datlift would refuse the file (or it is no whole MCFG block).
bool write_report(Writer& w, bool as_json, const char* path, ConstBytes head, std::uint64_t size,
                  const RunArgs& args, Reports& r);

}  // namespace datlift::inspect
