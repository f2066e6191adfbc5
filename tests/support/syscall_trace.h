// SPDX-License-Identifier: MIT
// The system calls of a datlift run as strace records them, and runs with a fault or a signal
// injected at one chosen call of the program's own.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"

namespace datlift::test {

struct Syscall {
  std::string name;
  std::string line;
  int ordinal;   // how many calls of this name up to and including this one
  bool runtime;  // the sanitizers' own: a pipe they open to probe memory, and its use
  int own;       // how many of the program's own calls of this name, up to and including this one
};

inline std::vector<Syscall> parse_trace(const std::string& trace) {
  std::vector<Syscall> calls;
  std::map<std::string, int> counts;
  std::map<std::string, int> own_counts;
  std::set<std::string> pipe_fds;
  std::istringstream lines(trace);
  for (std::string line; std::getline(lines, line);) {
    const auto paren = line.find('(');
    if (line.empty() || line[0] == '+' || line[0] == '-' || paren == std::string::npos) continue;
    const std::string name = line.substr(0, paren);
    const std::string fd = line.substr(paren + 1, line.find_first_of(",)", paren) - paren - 1);
    if (name == "pipe2") {
      const auto comma = line.find(", ", paren);
      pipe_fds = {line.substr(paren + 2, comma - paren - 2),
                  line.substr(comma + 2, line.find(']') - comma - 2)};
    }
    const bool runtime = name == "pipe2" || pipe_fds.count(fd) != 0;
    if (runtime && name == "close") pipe_fds.erase(fd);  // the number may be the program's next
    calls.push_back({name, line, ++counts[name], runtime, runtime ? 0 : ++own_counts[name]});
  }
  return calls;
}

// Whether strace can trace a program here (not in every container, nor under emulation).
inline bool strace_usable() {
  return std::system("strace -o /dev/null true >/dev/null 2>&1") == 0;
}

inline std::vector<Syscall> read_trace(const fs::path& file) {
  const Image trace = read_file(file);
  return parse_trace(std::string(trace.begin(), trace.end()));
}

// Runs datlift in `dir`, made ready by `prepare`, with strace's inject `action` ("error=EIO",
// "signal=TERM", ...) at the program's own call `target` of a reference run. strace counts calls
// by name, and the sanitizers probe memory through a pipe a varying number of times, so the
// same absolute count can mean another call. The run's own trace shows which call the count
// meant; where it was not the target, the directory is made ready again and the run repeated:
// with the target's count in that run where the run got that far, else with the count moved on
// by the program's own calls still missing (a fault or kill that landed early may end the run
// before the target, and each repetition comes closer). Empty where it never landed.
inline std::optional<ProcessResult> run_injected(const ScratchDir& dir,
                                                 const std::function<void()>& prepare,
                                                 const std::vector<std::string>& args,
                                                 const Syscall& target, const std::string& action) {
  constexpr int kAttempts = 8;
  ScratchDir logs;
  int ordinal = target.ordinal;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    prepare();
    ProcessSetup setup;
    setup.prefix = {"strace", "-o", (logs / "trace").string(), "-e",
                    "inject=" + target.name + ":" + action + ":when=" + std::to_string(ordinal)};
    const ProcessResult r = run_process(dir.path(), args, setup);
    int own_so_far = 0;  // the program's own calls of the name up to the injected count
    int target_at = 0;   // the target's count in this run, where it got that far
    bool landed = false;
    for (const Syscall& c : read_trace(logs / "trace")) {
      if (c.name != target.name) continue;
      if (!c.runtime && c.own == target.own) target_at = c.ordinal;
      if (c.ordinal == ordinal) landed = !c.runtime && c.own == target.own;
      if (c.ordinal <= ordinal && !c.runtime) own_so_far = c.own;
    }
    if (landed) return r;
    ordinal = target_at != 0 && target_at != ordinal
                  ? target_at
                  : ordinal + std::max(1, target.own - own_so_far);
    for (const auto& e : fs::directory_iterator(dir.path())) fs::remove_all(e.path());
  }
  ADD_FAILURE() << action << " never landed on " << target.line;
  return std::nullopt;
}

}  // namespace datlift::test
