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
  RunStorage space;
  SystemReport system;
  RunReport run;
  McfgReport mcfg;
};

enum class Format { text, json };

// Writes the report of the file at `path` (its first bytes in `head`, `size` in all), as text or
// as one JSON object. False where datlift would refuse the file (or it is no whole MCFG block).
bool write_report(Writer& w, Format format, const char* path, ConstBytes head, std::uint64_t size,
                  const RunArgs& args, Reports& r);

// The reports of many files, one after the other: in text, a blank line between them; in JSON,
// one array of their objects.
class ReportList {
 public:
  ReportList(Writer& w, Format format)
      : frame_(w, format == Format::json ? "[\n" : "", format == Format::json ? ",\n" : "\n",
               format == Format::json ? "\n]\n" : "") {}
  // Before each report.
  void item() { frame_.item(); }

 private:
  ListFrame frame_;
};

}  // namespace datlift::inspect
