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

// What each exit code says, in words for a person: the page's account of a run, and of each file
// of an inventory.
struct ExitMeaning {
  ExitCode code;
  const char* words;
};
inline constexpr ExitMeaning kExitMeanings[] = {
    {ExitCode::ok, "converted"},
    {ExitCode::usage, "an option that datlift does not take"},
    {ExitCode::not_found, "no SYSTEM.DAT, or none that names a model and a version"},
    {ExitCode::bad_model, "the file names none of the models"},
    {ExitCode::unknown_file_version, "the file's version has no layout"},
    {ExitCode::axis_records_short, "the file ends inside its axis records"},
    {ExitCode::model_not_convertible, "files of this version are converted for other models only"},
    {ExitCode::axis_names_short, "the file ends inside its axis name table"},
    {ExitCode::general_short, "the file ends inside its general record"},
    {ExitCode::table_a_short, "the file ends inside axis table A"},
    {ExitCode::table_b_short, "the file ends inside axis table B"},
    {ExitCode::nothing_to_do,
     "nothing to convert: the newest version already, a downgrade, or another model family"},
    {ExitCode::break_at_version, "this file cannot be converted for the model chosen"},
    {ExitCode::only_upward, "the file's next version is above the target: conversions go up only"},
    {ExitCode::system_not_created, "SYSTEM.DAT cannot be written; both files untouched"},
    {ExitCode::mcfg_not_created, "MCFG.DAT cannot be written; both files untouched"},
    {ExitCode::unknown_target_version, "the target is above the newest version; nothing written"},
    {ExitCode::in_use, "another run kept SYSTEM.DAT locked"},
};

}  // namespace datlift
