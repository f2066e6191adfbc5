// SPDX-License-Identifier: MIT
// Every text the program prints, in one place. Scripts read these lines: each is part of the
// interface and must stay as it is, byte for byte, misspellings included.
#pragma once

#include "common/console.h"

namespace datlift::message {

// The banner names the newest version, the default target ("2.50"); "/V" never changes it.
inline void banner(Console& c, const char* newest_version) {
  c.print("DATLIFT V%s\n", newest_version);
}

inline void usage(Console& c) {
  c.print(
      "Call: DATLIFT [/V?.??] [/PLX-4K] [/PLX-8] [/PLX-4200] [/PLX-4300] [/PLX-4500] "
      "[/PLX-8200] [/NC] [/AAxname(s)]\n");
}

inline void system_not_found(Console& c) {
  c.print("File >> SYSTEM.DAT << not found!\n");
}

inline void in_use(Console& c) {
  c.print("File >> SYSTEM.DAT << is in use!\n");
}

inline void read_in(Console& c, const char* version_token, const char* model_token) {
  c.print("System file >> %s << for Motion Control Unit %s read in!\n", version_token, model_token);
}

// The only message without a line end.
inline void bad_format(Console& c, int status) {
  c.print("Bad Format of SYSTEM.DAT (Status %i)", status);
}

inline void cannot_convert(Console& c, const char* model, const char* version_token) {
  c.print("Sorry, but %s %s cannot be converted!\n", model, version_token);
}

inline void newest_version(Console& c) {
  c.print("This ist the newest convertable Version!\n");
}

inline void no_update(Console& c) {
  c.print("No Update possible/required (1)!\n");
}

inline void break_at_version(Console& c, const char* file_model, double working,
                             const char* selected_model, double target) {
  c.print("Break at undefined Version %s V%3.2lf --> %s V%3.2lf!\n", file_model, working,
          selected_model, target);
}

inline void only_upward(Console& c) {
  c.print("Sorry, conversion ist possible only upward!\n");
}

inline void unknown_version(Console& c, double target) {
  c.print("Unknown Version (%4.2lf) specified!\n", target);
}

inline void conversion(Console& c, const char* file_model, const char* from,
                       const char* selected_model, const char* to) {
  c.print("Conversion from %s V%s --> %s V%s\n", file_model, from, selected_model, to);
}

inline void system_not_created(Console& c) {
  c.print("File >> SYSTEM.DAT << cannot be created!\n");
}

inline void mcfg_not_created(Console& c) {
  c.print("File >> MCFG.DAT << cannot be created!\n");
}

inline void mcfg_generated(Console& c) {
  c.print("File: -MCFG.DAT- generated!\n");
}

}  // namespace datlift::message
