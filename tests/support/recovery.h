// SPDX-License-Identifier: MIT
// The README's rule for the files a killed run or a power cut leaves behind, carried out literally
// on the names and contents of a directory ("-> target" for a symbolic link; paths relative to it):
//   1. If a .SYSTEM.DAT.*.tmp file lies beside the file SYSTEM.DAT stands for, SYSTEM.DAT is still
//      the old one: then rename the .MCFG.DAT.*.old file beside the file MCFG.DAT stands for, if
//      there is one, to that file; if there is a .MCFG.DAT.*.none file instead, delete that file.
//   2. If the file MCFG.DAT stands for is missing and a .MCFG.DAT.*.old file lies beside it,
//      rename that to it.
//   3. Delete every .SYSTEM.DAT.*.tmp, .MCFG.DAT.*.tmp, .MCFG.DAT.*.old and .MCFG.DAT.*.none file.
#pragma once

#include <map>
#include <regex>
#include <string>
#include <vector>

namespace datlift::test {

using Contents = std::map<std::string, std::string>;

// A path with "/" between its parts (Windows writes "\\"), without a leading "./".
inline std::string plain(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path.rfind("./", 0) == 0 ? path.substr(2) : path;
}

inline std::string directory_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

// The file a name stands for, through links (relative to the link's directory).
inline std::string stands_for(const Contents& files, std::string name) {
  for (int depth = 0; depth < 8; ++depth) {
    const auto it = files.find(name);
    if (it == files.end() || it->second.rfind("-> ", 0) != 0) break;
    const std::string text = it->second.substr(3);
    name = text[0] == '/' ? text : directory_of(name) + text;
  }
  return name;
}

// The left-overs of `name` ("SYSTEM.DAT", "MCFG.DAT") of one kind beside `file`.
inline std::vector<std::string> leftovers(const Contents& files, const std::string& file,
                                          const std::string& name, const std::string& kind) {
  const std::regex pattern("\\." + std::regex_replace(name, std::regex("\\."), "\\.") +
                           "\\.[0-9]+-[0-9]+\\." + kind);
  std::vector<std::string> found;
  for (const auto& [path, content] : files) {
    if (directory_of(path) != directory_of(file)) continue;
    if (std::regex_match(path.substr(directory_of(path).size()), pattern)) found.push_back(path);
  }
  return found;
}

inline Contents recover(const Contents& left) {
  Contents files;
  for (const auto& [path, content] : left) files[plain(path)] = content;
  const std::string system = stands_for(files, "SYSTEM.DAT");
  const std::string mcfg = stands_for(files, "MCFG.DAT");
  const auto put_back = [&] {
    const std::vector<std::string> old = leftovers(files, mcfg, "MCFG.DAT", "old");
    if (old.empty()) return false;
    const std::string content = files.at(old.front());
    files.erase(old.front());
    files[mcfg] = content;
    return true;
  };
  if (!leftovers(files, system, "SYSTEM.DAT", "tmp").empty()) {
    if (!put_back() && !leftovers(files, mcfg, "MCFG.DAT", "none").empty()) files.erase(mcfg);
  }
  if (files.count(mcfg) == 0) put_back();
  for (const auto& [name, file] : {std::pair{"SYSTEM.DAT", system}, std::pair{"MCFG.DAT", mcfg}})
    for (const char* kind : {"tmp", "old", "none"})
      for (const std::string& path : leftovers(files, file, name, kind)) files.erase(path);
  return files;
}

}  // namespace datlift::test
