// SPDX-License-Identifier: MIT
#include "inspect/report.h"

#include "common/exit_code.h"
#include "common/text.h"
#include "files/path.h"
#include "inspect/json_report.h"
#include "inspect/text_report.h"

namespace datlift::inspect {

bool write_report(Writer& w, Format format, const char* path, ConstBytes head, std::uint64_t size,
                  const RunArgs& args, Reports& r) {
  const bool as_json = format == Format::json;
  if (equals_nocase(base_name(path), "MCFG.DAT")) {
    inspect_mcfg(head, size, r.mcfg);
    as_json ? write_mcfg_json(w, path, head, r.mcfg) : write_mcfg_text(w, path, head, r.mcfg);
    return r.mcfg.whole;
  }
  inspect_system(head, size, r.space, r.run, r.system);
  if (args.given) dry_run(head, args.argc, args.argv, true, r.space, r.run);
  as_json ? write_system_json(w, path, r.system, args, r.run)
          : write_system_text(w, path, r.system, args, r.run);
  return r.system.exit == exit_code(ExitCode::ok) ||
         r.system.exit == exit_code(ExitCode::nothing_to_do);
}

}  // namespace datlift::inspect
