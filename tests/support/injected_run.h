// SPDX-License-Identifier: MIT
// A whole run of the program, in-process, on a test file system through the fault injector:
// what it printed, what the files are afterwards, and what the injector saw.
#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "common/text_sink.h"
#include "run/program.h"
#include "support/fault_injector.h"
#include "support/sample_image.h"
#include "support/test_file_system.h"

namespace datlift::test {

struct InjectedRun {
  int code = -1;
  std::string out;
  std::string err;  // with "/" between the parts of names, whatever the system writes
  Contents after;
  std::vector<std::string> failed;
  int calls = 0;
  bool signals_balanced = false;
  std::optional<Contents> at_death;
  std::vector<std::string> log;
  int waited_ms = 0;
};

// `args` follow the program's name; `files` is listed afterwards where given.
inline InjectedRun run_injected(TestFileSystem* files, FaultInjector& injector,
                                const std::vector<std::string>& args = {}) {
  struct Room {
    std::array<char, 32768> out{}, err{};
    RunStorage space{};
  };
  std::vector<const char*> argv = {"datlift"};
  for (const std::string& a : args) argv.push_back(a.c_str());
  auto room = std::make_unique<Room>();
  TextSink out(room->out), err(room->err);
  InjectedRun r;
  r.code = run_program(static_cast<int>(argv.size()), argv.data(), injector, injector, out, err,
                       room->space);
  r.out = out.text();
  r.err = err.text();
  if (kSeparator[0] != '/') std::replace(r.err.begin(), r.err.end(), kSeparator[0], '/');
  if (files != nullptr) r.after = files->contents();
  r.failed = injector.failed;
  r.calls = injector.calls;
  r.signals_balanced = injector.signals_held == 0 && injector.signals_released_in_order;
  r.at_death = injector.at_death;
  r.log = injector.log;
  r.waited_ms = injector.waited_ms;
  return r;
}

// A whole system file of a version, as text.
inline std::string system_file(int version) {
  const auto image = system_dat(version);
  return std::string(image.begin(), image.end());
}

}  // namespace datlift::test
