// SPDX-License-Identifier: MIT
// The program's lines as a user sees them, written out for comparison.
#pragma once

#include <string>

namespace datlift::test {

inline const std::string kBanner = "DATLIFT V2.50\n";
inline const std::string kUsage =
    "Call: DATLIFT [/V?.??] [/PLX-4K] [/PLX-8] [/PLX-4200] [/PLX-4300] [/PLX-4500] [/PLX-8200] "
    "[/NC] [/AAxname(s)]\n";
inline const std::string kGenerated = "File: -MCFG.DAT- generated!\n";
inline const std::string kNewest = "This ist the newest convertable Version!\n";
inline const std::string kNoUpdate = "No Update possible/required (1)!\n";
inline const std::string kUpward = "Sorry, conversion ist possible only upward!\n";
inline const std::string kNotFound = "File >> SYSTEM.DAT << not found!\n";
inline const std::string kSystemNotCreated = "File >> SYSTEM.DAT << cannot be created!\n";
inline const std::string kMcfgNotCreated = "File >> MCFG.DAT << cannot be created!\n";

inline std::string read_in(const std::string& version, const std::string& model) {
  return "System file >> " + version + " << for Motion Control Unit " + model + " read in!\n";
}

inline std::string conversion(const std::string& from_model, const std::string& from,
                              const std::string& to_model, const std::string& to) {
  return "Conversion from " + from_model + " V" + from + " --> " + to_model + " V" + to + "\n";
}

inline std::string bad_format(int status) {
  return "Bad Format of SYSTEM.DAT (Status " + std::to_string(status) + ")";
}

}  // namespace datlift::test
