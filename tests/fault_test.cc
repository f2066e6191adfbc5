// SPDX-License-Identifier: MIT
// What only the kernel shows, injected with strace into real runs: a run killed by SIGKILL at any
// call of the write phase leaves SYSTEM.DAT whole, old or new, and the README's recovery rule
// restores a matching pair; and a file system that cannot refuse to replace a name in a rename.
// (Every fault of a call, single and double, runs in-process on the real primitives: see
// src/files/replace_protocol_test.cc.)
#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "support/expected_text.h"
#include "support/process.h"
#include "support/recovery.h"
#include "support/sample_image.h"
#include "support/syscall_trace.h"

namespace datlift {
namespace {

using namespace test;

// The calls of the write phase: everything after the input has been closed (the first file
// opened as SYSTEM.DAT for reading and closed again; the lock's stays open to the end).
std::size_t write_phase_start(const std::vector<Syscall>& calls) {
  std::set<std::string> fds;
  for (std::size_t i = 0; i < calls.size(); ++i) {
    const Syscall& c = calls[i];
    if (c.name == "openat" && c.line.find("\"SYSTEM.DAT\", O_RDONLY") != std::string::npos)
      fds.insert(c.line.substr(c.line.rfind("= ") + 2));
    else if (c.name == "close" && fds.count(c.line.substr(6, c.line.find(')') - 6)) != 0)
      return i + 1;
  }
  return calls.size();
}

struct Scenario {
  const char* name;
  Image system;
  std::optional<Image> mcfg;  // MCFG.DAT before the run
  std::vector<std::string> args;
};

std::vector<Scenario> scenarios() {
  auto file = [](int version) {
    test::SampleRecipe recipe;
    recipe.version = version;
    return test::build_system_dat(recipe);
  };
  return {
      {"V2.10 to V2.50, MCFG.DAT replaced", file(210), Image(300, 0x42), {}},
      {"V2.10 to V2.50, MCFG.DAT new", file(210), std::nullopt, {}},
      {"V1.71 to V2.00", file(171), Image(300, 0x42), {"/V2.00"}},
      {"V2.50 refresh", file(250), Image(300, 0x42), {"/ANEW"}},
  };
}

void prepare(const ScratchDir& dir, const Scenario& s) {
  write_file(dir / "SYSTEM.DAT", s.system);
  if (s.mcfg) write_file(dir / "MCFG.DAT", *s.mcfg);
}

struct Reference {
  std::vector<Syscall> calls;
  std::size_t start;
  std::map<std::string, std::string> after;  // the directory after a good run
  std::map<std::string, std::string> before;
};

Reference reference_run(const Scenario& s) {
  ScratchDir dir;
  ScratchDir logs;
  prepare(dir, s);
  Reference ref;
  ref.before = snapshot(dir.path());
  ProcessSetup setup;
  setup.prefix = {"strace", "-o", (logs / "trace").string()};
  EXPECT_EQ(run_process(dir.path(), s.args, setup).code, 0) << s.name;
  ref.calls = read_trace(logs / "trace");
  ref.start = write_phase_start(ref.calls);
  ref.after = snapshot(dir.path());
  return ref;
}

// Where the file system has no hard links, the old MCFG.DAT is renamed aside instead; where it
// cannot refuse to replace a name in a rename, the name is looked at first.
TEST(KernelFaults, FileSystemWithoutHardLinks) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  const Scenario s = scenarios()[0];
  const Reference ref = reference_run(s);
  ScratchDir dir;
  prepare(dir, s);
  ProcessSetup setup;
  setup.prefix = {"strace",
                  "-o",
                  "/dev/null",
                  "-e",
                  "inject=link,linkat:error=EPERM",
                  "-e",
                  "inject=renameat2:error=EINVAL"};
  const ProcessResult r = run_process(dir.path(), s.args, setup);
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(snapshot(dir.path()) == ref.after);
}

// Answers of the system that a run must tell apart: a lock the file system cannot take (no
// locks, or record locks that refuse a file open for reading) lets the run go on without one,
// while any other failure of the lock refuses it; a write that takes nothing is an I/O error.
TEST(KernelFaults, AnswersOfTheSystemToldApart) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  const struct {
    const char* inject;
    int code;
    const char* said;
  } cases[] = {
      {"flock:error=ENOLCK", 0, "lock: No locks available; going on without a lock\n"},
      {"flock:error=EBADF", 0, "lock: Bad file descriptor; going on without a lock\n"},
      {"flock:error=EINVAL", 0, "lock: Invalid argument; going on without a lock\n"},
      {"flock:error=EIO", 16, "lock: Input/output error\n"},
      {"writev:retval=0", 16, ".tmp: write: Input/output error\n"},
  };
  const Scenario s = scenarios()[0];
  for (const auto& c : cases) {
    ScratchDir dir;
    prepare(dir, s);
    ProcessSetup setup;
    setup.prefix = {"strace", "-o", "/dev/null", "-e", std::string("inject=") + c.inject};
    const ProcessResult r = run_process(dir.path(), s.args, setup);
    EXPECT_EQ(r.code, c.code) << c.inject;
    EXPECT_NE(r.error.find(c.said), std::string::npos) << c.inject << ": " << r.error;
  }
}

TEST(CrashSafety, KilledAtAnyWritePhaseCall) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  int killed = 0, restored_old = 0, restored_new = 0;
  for (const Scenario& s : scenarios()) {
    const Reference ref = reference_run(s);
    const std::string old_system(s.system.begin(), s.system.end());
    const std::string new_system = ref.after.at("SYSTEM.DAT");
    for (std::size_t i = ref.start - 1; i < ref.calls.size(); ++i) {
      const Syscall& c = ref.calls[i];
      if (c.name == "exit_group" || c.runtime) continue;
      ScratchDir dir;
      const std::optional<ProcessResult> r = run_injected(
          dir, [&] { prepare(dir, s); }, s.args, c, "signal=KILL");
      if (!r) continue;
      const std::string tag = std::string(s.name) + ": " + c.line;
      EXPECT_NE(r->code, 0) << tag;
      ++killed;
      const auto after = snapshot(dir.path());
      const std::string& system = after.at("SYSTEM.DAT");
      EXPECT_TRUE(system == old_system || system == new_system) << tag;
      // The README's rule restores a matching pair, and leaves nothing else.
      const auto recovered = recover(after);
      const bool as_before = recovered == ref.before;
      EXPECT_TRUE(as_before || recovered == ref.after) << tag;
      ++(as_before ? restored_old : restored_new);
    }
  }
  std::printf(
      "runs killed in the write phase: %d; SYSTEM.DAT whole after each, and the recovery rule "
      "restored a matching pair after each: %d old, %d new\n",
      killed, restored_old, restored_new);
  EXPECT_GT(killed, 20);
}

}  // namespace
}  // namespace datlift
