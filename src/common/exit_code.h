// SPDX-License-Identifier: MIT
// The exit codes of a run, each with its one meaning: scripts rely on them. 3 and 12 are not used.
#pragma once

namespace datlift {

enum class ExitCode : int {
  ok = 0,
  usage = 1,
  not_found = 2,           // SYSTEM.DAT cannot be opened for reading
  bad_identification = 2,  // no header yields a model and a version: bad-format status 2
  bad_model = 4,           // the model token names none of the models: bad-format status 4
  unknown_file_version = 5,
  // A block that the file does not hold whole: the bad-format status of its kind.
  axis_records_short = 6,
  model_not_convertible = 7,  // a version whose files are converted for other models only
  axis_names_short = 8,
  general_short = 9,
  table_a_short = 10,
  table_b_short = 11,
  nothing_to_do = 13,  // the newest version already, or refused by the compatibility rules
  break_at_version = 14,
  only_upward = 15,
  system_not_created = 16,
  mcfg_not_created = 17,
  unknown_target_version = 18,  // a target above the newest version: nothing written
  in_use = 19,                  // another run kept SYSTEM.DAT locked for the whole wait
};

constexpr int exit_code(ExitCode code) {
  return static_cast<int>(code);
}

}  // namespace datlift
