// SPDX-License-Identifier: MIT
// The exit codes of a run: every outcome has its one code, and scripts rely on them.
#pragma once

namespace datlift {

enum ExitStatus : int {
  kExitOk = 0,
  kExitUsage = 1,
  kExitNotFound = 2,           // SYSTEM.DAT cannot be opened for reading
  kExitBadIdentification = 2,  // bad-format status 2
  kExitBadModel = 4,           // bad-format status 4
  kExitUnknownFileVersion = 5,
  // 6, 8, 9, 10, 11: a block not held whole (the bad-format statuses of the layout)
  kExitModelNotConvertible = 7,  // a V1.71 file of a model other than PLX-8
  kExitNothingToDo = 13,         // newest version, or refused by the compatibility rules
  kExitBreakAtVersion = 14,
  kExitOnlyUpward = 15,
  kExitSystemNotCreated = 16,
  kExitMcfgNotCreated = 17,
  kExitUnknownTargetVersion = 18,  // target above V2.50: nothing written
  kExitInUse = 19,                 // another run kept SYSTEM.DAT locked for the whole wait
};

}  // namespace datlift
