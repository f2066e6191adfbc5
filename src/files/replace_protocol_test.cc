// SPDX-License-Identifier: MIT
// The replace protocol, on the file system in memory and on the disk's own primitives in a scratch
// directory, with calls failing on demand: every single failing call and every pair of them, in
// each situation that matters, ends in one of three ways.
//   converted: exit code 0, both files new (a left-over name is stated on standard error);
//   untouched: another exit code, every name as before, nothing left behind;
//   kept:      only where removing or putting back a file failed: another exit code, every old
//              content still on disk, and every name that is not as before stated on standard
//              error.
// And a kill at any call leaves what the README's recovery rule makes a matching pair of.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>

#include "support/disk_file_system.h"
#include "support/fake_file_system.h"
#include "support/injected_run.h"
#include "support/recovery.h"

namespace datlift {
namespace {

using namespace test;

// Where the files lie: in memory, or on the disk.
enum class Medium { memory, disk };

void PrintTo(Medium m, std::ostream* os) {
  *os << (m == Medium::memory ? "memory" : "disk");
}

std::unique_ptr<TestFileSystem> make(Medium m) {
  if (m == Medium::memory) return std::make_unique<FakeFileSystem>();
  return std::make_unique<DiskFileSystem>();
}

using Result = InjectedRun;

struct Scenario {
  const char* name;
  int version;
  std::vector<std::string> args;
  bool old_mcfg;
  bool links = false;  // both names links, each into a directory of its own
  bool can_link = true;
  bool can_lock = true;
};

const Scenario kScenarios[] = {
    {"MCFG.DAT replaced", 210, {}, true},
    {"MCFG.DAT new", 210, {}, false},
    {"MCFG.DAT not due", 171, {"/V2.00"}, true},
    {"V2.50 refresh", 250, {"/ANEW"}, true},
    {"through links", 200, {}, true, true},
    {"no hard links", 210, {}, true, false, false},
    {"no hard links, MCFG.DAT new", 210, {}, false, false, false},
    {"no locks", 210, {}, false, false, true, false},
};

void lay_out(TestFileSystem& files, const Scenario& s) {
  if (s.links) {
    files.put_directory("store");
    files.put_directory("config");
  }
  files.put_file(s.links ? "store/machine.dat" : "SYSTEM.DAT", system_file(s.version), 0640);
  if (s.old_mcfg) files.put_file(s.links ? "config/mcfg.dat" : "MCFG.DAT", "old MCFG", 0600);
  if (s.links) {
    files.put_link("SYSTEM.DAT", "store/machine.dat");
    if (s.old_mcfg) files.put_link("MCFG.DAT", "config/mcfg.dat");
  }
}

// How a run is disturbed: calls that fail, calls that are done but report failure, a kill.
struct Disturbance {
  std::set<int> fail_at = {};
  std::set<int> done_but_failed = {};
  int kill_at = 0;
  bool kill_is_held = false;
};

class ReplaceProtocol : public ::testing::TestWithParam<Medium> {
 protected:
  // Whether the medium can lay the scenario out.
  bool possible(const Scenario& s) { return !s.links || make(GetParam())->has_links(); }

  Result run(const Scenario& s, const Disturbance& d) {
    const auto files = make(GetParam());
    lay_out(*files, s);
    FaultInjector injector(*files, [&] { return files->contents(); });
    injector.can_link = s.can_link;
    injector.can_lock = s.can_lock;
    injector.fail_at = d.fail_at;
    injector.done_but_failed = d.done_but_failed;
    injector.kill_at = d.kill_at;
    injector.kill_is_held = d.kill_is_held;
    return run_injected(files.get(), injector, s.args);
  }
};

INSTANTIATE_TEST_SUITE_P(OnEveryMedium, ReplaceProtocol,
                         ::testing::Values(Medium::memory, Medium::disk), [](const auto& info) {
                           return info.param == Medium::memory ? "memory" : "disk";
                         });

enum Outcome { kConverted, kUntouched, kKept, kBroken };

// Whether standard error names this path as a whole: after a space (or the "./" of a name beside
// another), before a colon, a space or the line's end.
bool stated(const std::string& err, const std::string& name) {
  for (std::size_t at = err.find(name); at != std::string::npos; at = err.find(name, at + 1)) {
    const char before = at == 0 ? ' ' : err[at - 1], after = err[at + name.size()];
    if ((before == ' ' || before == '/') && (after == ':' || after == ' ' || after == '\n'))
      return true;
  }
  return false;
}

Outcome judge(const Result& r, const Contents& before, const Contents& converted) {
  if (!r.signals_balanced) return kBroken;
  if (r.code == 0) {
    for (const auto& [name, content] : converted)
      if (r.after.count(name) == 0 || r.after.at(name) != content) return kBroken;
    for (const auto& [name, content] : r.after)
      if (converted.count(name) == 0 && !stated(r.err, name)) return kBroken;
    return kConverted;
  }
  if (r.after == before) return kUntouched;
  const bool removing_failed =
      std::find(r.failed.begin(), r.failed.end(), "remove") != r.failed.end();
  if (!removing_failed && r.failed.size() < 2) return kBroken;
  for (const auto& [name, content] : before) {
    if (content.rfind("-> ", 0) == 0 || content == "<dir>") continue;
    bool found = false;
    for (const auto& [now, now_content] : r.after)
      found = found || (now_content == content && (now == name || stated(r.err, now)));
    if (!found) return kBroken;
  }
  for (const auto& [name, content] : r.after)
    if ((before.count(name) == 0 || before.at(name) != content) && !stated(r.err, name))
      return kBroken;
  return kKept;
}

std::string describe(const Scenario& s, const Disturbance& d, const Result& r) {
  std::string text = std::string(s.name) + ", failing calls";
  for (const int n : d.fail_at) text += " " + std::to_string(n);
  for (const int n : d.done_but_failed) text += " " + std::to_string(n) + " (done)";
  text += " (" + (r.failed.empty() ? std::string("none reached") : r.failed[0]);
  if (r.failed.size() > 1) text += ", " + r.failed[1];
  text += "): exit " + std::to_string(r.code) + "\n" + r.err;
  return text;
}

TEST_P(ReplaceProtocol, EverySingleAndDoubleFault) {
  int counts[4] = {};
  int singles = 0, pairs = 0, done = 0;
  for (const Scenario& s : kScenarios) {
    if (!possible(s)) continue;
    const Result reference = run(s, {});
    ASSERT_EQ(reference.code, 0) << s.name << "\n" << reference.out << reference.err;
    ASSERT_EQ(reference.err, s.can_lock ? ""
                                        : "datlift: SYSTEM.DAT: lock: Operation not "
                                          "supported; going on without a lock\n");
    const Result untouched = run(s, {.fail_at = {1}});  // the first call fails: nothing is done
    Contents before = untouched.after;
    ASSERT_NE(before, reference.after) << s.name;
    auto tally = [&](const Disturbance& d) {
      const Result r = run(s, d);
      const Outcome o = judge(r, before, reference.after);
      EXPECT_NE(o, kBroken) << describe(s, d, r);
      ++counts[o];
      return r;
    };
    for (int first = 1; first <= reference.calls; ++first) {
      const Result one = tally({.fail_at = {first}});
      ++singles;
      for (int second = first + 1; second <= one.calls; ++second, ++pairs)
        tally({.fail_at = {first, second}});
      // A call that takes effect and reports failure all the same.
      tally({.done_but_failed = {first}});
      ++done;
    }
  }
  std::printf(
      "fault combinations: %d single, %d double, %d done but reported failed; converted %d, "
      "untouched %d, old content kept and stated %d, broken %d\n",
      singles, pairs, done, counts[kConverted], counts[kUntouched], counts[kKept], counts[kBroken]);
}

// The file that a name stands for, through links.
std::string content_of(const Contents& files, const std::string& name) {
  const std::string file = stands_for(files, name);
  return files.count(file) != 0 ? files.at(file) : "(none)";
}

// Killed at any call: by SIGKILL, the README's recovery rule restores a matching pair, both old
// or both new, and leaves nothing else; by a signal that the run holds, the files are a matching
// pair as they are, with nothing left behind.
TEST_P(ReplaceProtocol, KilledAtAnyCall) {
  int kills = 0, held = 0, restored_old = 0, restored_new = 0;
  for (const Scenario& s : kScenarios) {
    if (!possible(s)) continue;
    const Result reference = run(s, {});
    const Result untouched = run(s, {.fail_at = {1}});
    for (int at = 1; at <= reference.calls; ++at) {
      for (const bool is_held : {false, true}) {
        const Result r = run(s, {.kill_at = at, .kill_is_held = is_held});
        ASSERT_TRUE(r.at_death) << s.name << ", killed at " << at;
        const Contents after = is_held ? *r.at_death : recover(*r.at_death);
        const bool as_before = after == untouched.after, as_converted = after == reference.after;
        EXPECT_TRUE(as_before || as_converted)
            << s.name << ", killed at call " << at << (is_held ? " (held)" : "") << ": "
            << r.log[static_cast<std::size_t>(at - 1)] << "\nSYSTEM.DAT "
            << (content_of(after, "SYSTEM.DAT") == content_of(reference.after, "SYSTEM.DAT"))
            << ", MCFG.DAT " << content_of(after, "MCFG.DAT").size();
        ++(is_held ? held : kills);
        if (!is_held) ++(as_before ? restored_old : restored_new);
      }
    }
  }
  std::printf(
      "kill points: %d, each restored by the recovery rule to a matching pair (%d old, %d new); "
      "held signals: %d, each ending with a matching pair and nothing left\n",
      kills, restored_old, restored_new, held);
}

// A power cut before any call of a run, or after it ended, in either model of what a file system
// keeps: with the README's recovery rule carried out, the files are a matching pair, both as before
// or both converted, and both converted once the run has ended with 0.
class PowerCut : public ::testing::TestWithParam<FakeFileSystem::Durability> {};

INSTANTIATE_TEST_SUITE_P(EitherModel, PowerCut,
                         ::testing::Values(FakeFileSystem::Durability::ordered,
                                           FakeFileSystem::Durability::reordered),
                         [](const auto& info) {
                           return info.param == FakeFileSystem::Durability::ordered ? "ordered"
                                                                                    : "reordered";
                         });

TEST_P(PowerCut, AtAnyCallTheRuleRestoresAPair) {
  int cuts = 0, states = 0, mended = 0;
  for (const Scenario& s : kScenarios) {
    auto run = [&](int cut_at, std::vector<Contents>& cut) {
      FakeFileSystem files;
      files.durability = GetParam();
      lay_out(files, s);
      FaultInjector injector(files, [] { return Contents(); });
      injector.can_link = s.can_link;
      injector.can_lock = s.can_lock;
      injector.fail_at = cut_at < 0 ? std::set<int>{1} : std::set<int>{};
      injector.meddle_at = cut_at;
      injector.meddle = [&] { cut = files.power_cut_states(); };
      Result r = run_injected(&files, injector, s.args);
      if (cut_at > r.calls) cut = files.power_cut_states();
      return r;
    };
    std::vector<Contents> unused;
    const Result reference = run(0, unused), untouched = run(-1, unused);
    ASSERT_EQ(reference.code, 0) << s.name;
    // Where names keep their order, one directory sync at the end (three syncs in all with two
    // files); elsewhere one before MCFG.DAT is placed in each directory, one after it, and one
    // after SYSTEM.DAT.
    const auto& log = reference.log;
    const bool both = std::any_of(log.begin(), log.end(), [](const std::string& c) {
      return c.rfind("create_new .MCFG.DAT", 0) == 0;
    });
    const bool ordered = GetParam() == FakeFileSystem::Durability::ordered;
    EXPECT_EQ(std::count(log.begin(), log.end(), "sync_directory "), ordered || !both ? 1
                                                                     : s.links        ? 4
                                                                                      : 3)
        << s.name;
    for (int at = 1; at <= reference.calls + 1; ++at) {
      std::vector<Contents> cut;
      const Result r = run(at, cut);
      ++cuts;
      for (const Contents& state : cut) {
        const Contents after = recover(state);
        ++states;
        mended += after != state;
        const bool ended = at > r.calls;
        EXPECT_TRUE(after == reference.after || (!ended && after == untouched.after))
            << s.name << ", power cut " << (ended ? "after the run" : "before call ")
            << (ended ? "" : r.log[static_cast<std::size_t>(at - 1)]) << ": SYSTEM.DAT "
            << (content_of(after, "SYSTEM.DAT") == content_of(reference.after, "SYSTEM.DAT")
                    ? "new"
                    : "old")
            << ", MCFG.DAT " << content_of(after, "MCFG.DAT").size() << " bytes";
      }
    }
  }
  std::printf("power cuts: %d, leaving %d states; the recovery rule mended %d of them\n", cuts,
              states, mended);
}

// Whether this process writes files whatever their permission bits say.
bool privileged() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

// Files that cannot be replaced, and one file under both names (it would end up holding only one
// of the two contents): refused before anything is written, with one line on standard error.
TEST_P(ReplaceProtocol, FilesThatCannotBeReplaced) {
  const std::string v210 = system_file(210);
  const struct {
    const char* name;
    bool needs_links;
    bool needs_permissions;  // a process that read-only files stop
    std::function<void(TestFileSystem&)> lay_out;
    int code;
    const char* why;  // the line on standard error, where it is the same on every system
  } cases[] = {
      {"MCFG.DAT a directory", false, false,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210);
         f.put_directory("MCFG.DAT");
       },
       17, "datlift: MCFG.DAT: resolve: not a regular file\n"},
      {"MCFG.DAT a link to SYSTEM.DAT", true, false,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210);
         f.put_link("MCFG.DAT", "SYSTEM.DAT");
       },
       17, "datlift: MCFG.DAT: resolve: the same file as SYSTEM.DAT\n"},
      {"SYSTEM.DAT a link to MCFG.DAT", true, false,
       [&](TestFileSystem& f) {
         f.put_file("MCFG.DAT", v210);
         f.put_link("SYSTEM.DAT", "MCFG.DAT");
       },
       17, "datlift: MCFG.DAT: resolve: the same file as SYSTEM.DAT\n"},
      {"MCFG.DAT a link to a directory whose name would end the line", true, false,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210);
         f.put_directory("in\n\x1B[2Kdatlift");
         f.put_link("MCFG.DAT", "in\n\x1B[2Kdatlift");
       },
       17, "datlift: in\\x0A\\x1B[2Kdatlift: resolve: not a regular file\n"},
      {"MCFG.DAT a dangling link", true, false,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210);
         f.put_link("MCFG.DAT", "nowhere/MCFG.DAT");
       },
       17, nullptr},
      {"SYSTEM.DAT read-only", false, true,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210, 0444);
         f.put_file("MCFG.DAT", "old");
       },
       16, nullptr},
      {"MCFG.DAT read-only", false, true,
       [&](TestFileSystem& f) {
         f.put_file("SYSTEM.DAT", v210);
         f.put_file("MCFG.DAT", "old", 0444);
       },
       17, nullptr},
  };
  for (const auto& c : cases) {
    const auto files = make(GetParam());
    if (c.needs_links && !files->has_links()) continue;
    if (c.needs_permissions && GetParam() == Medium::disk && privileged()) continue;
    c.lay_out(*files);
    const Contents before = files->contents();
    FaultInjector injector(*files, [] { return Contents(); });
    const Result r = run_injected(files.get(), injector);
    EXPECT_EQ(r.code, c.code) << c.name;
    const char* message = c.code == 16 ? "File >> SYSTEM.DAT << cannot be created!\n"
                                       : "File >> MCFG.DAT << cannot be created!\n";
    EXPECT_EQ(r.out.substr(r.out.rfind("File")), message) << c.name;
    // (Where "\\" parts names, the test writes "/" for it: escapes then read otherwise.)
    if (c.why != nullptr && (kSeparator[0] == '/' || std::strchr(c.why, '\\') == nullptr)) {
      EXPECT_EQ(r.err, c.why) << c.name;
    }
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.name << "\n" << r.err;
    EXPECT_TRUE(files->contents() == before) << c.name;
  }
}

// SYSTEM.DAT is written first: when one of its steps fails and one of MCFG.DAT's would fail too,
// the run ends with SYSTEM.DAT's code and has not touched MCFG.DAT.
TEST_P(ReplaceProtocol, FirstFailureInWritingOrderDecides) {
  const char* const system_steps[] = {"check_writable SYSTEM.DAT", "create_new .SYSTEM.DAT",
                                      "write .SYSTEM.DAT", "sync .SYSTEM.DAT", "close .SYSTEM.DAT"};
  const char* const mcfg_steps[] = {"resolve MCFG.DAT", "check_writable MCFG.DAT"};
  for (const char* system_step : system_steps) {
    for (const char* mcfg_step : mcfg_steps) {
      const auto files = make(GetParam());
      files->put_file("SYSTEM.DAT", system_file(210));
      files->put_file("MCFG.DAT", "old");
      const Contents before = files->contents();
      FaultInjector injector(*files, [] { return Contents(); });
      injector.fail_named = {system_step, mcfg_step};
      const Result r = run_injected(files.get(), injector);
      EXPECT_EQ(r.code, 16) << system_step << ", " << mcfg_step;
      EXPECT_EQ(r.failed.size(), 1u) << system_step << ", " << mcfg_step;
      EXPECT_TRUE(r.after == before) << system_step << ", " << mcfg_step;
    }
  }
}

// Another user who may write the directory puts a link to another file, or a file of their own,
// in place of a name the run uses, at any call after the run followed or made that name: the run
// never writes through it, and leaves what they put there as it is. It refuses (16 or 17, saying
// what changed, before it makes anything where the change came first), unless the file was in
// place by then; a run that ends with 0 has put both new files in place.
TEST_P(ReplaceProtocol, NameChangedBehindTheRun) {
  if (!make(GetParam())->has_links()) GTEST_SKIP() << "no symbolic links here";
  const std::string victim = system_file(200);
  auto lay_out = [&](TestFileSystem& f) {
    f.put_file("SYSTEM.DAT", system_file(210));
    f.put_file("MCFG.DAT", "old MCFG");
    f.put_file("victim.dat", victim);
  };
  int runs = 0, refused = 0;
  // With hard links, and on a file system without them, where the old MCFG.DAT is set aside.
  for (const bool can_link : {true, false}) {
    const auto reference_files = make(GetParam());
    lay_out(*reference_files);
    FaultInjector reference(*reference_files, [] { return Contents(); });
    reference.can_link = can_link;
    const Result converted = run_injected(reference_files.get(), reference);
    ASSERT_EQ(converted.code, 0);
    // The number of the first call that names something, or that begins with something.
    const auto call = [&](const std::string& text, bool begins) {
      return static_cast<int>(std::find_if(reference.log.begin(), reference.log.end(),
                                           [&](const std::string& c) {
                                             return begins ? c.rfind(text, 0) == 0
                                                           : c.find(text) != c.npos;
                                           }) -
                              reference.log.begin()) +
             1;
    };
    const int first_write = call("create_new", true), input = call("open_read", true);
    for (const std::string name : {"SYSTEM.DAT", "MCFG.DAT", ".SYSTEM.DAT.4711-0.tmp",
                                   ".MCFG.DAT.4711-0.tmp", ".MCFG.DAT.4711-0.old"}) {
      const bool target = name[0] != '.';
      const int placed = target ? call("rename ." + name + ".4711-0.tmp " + name, true) : 0;
      // The run's last look at the name before it begins to write.
      int looked = 0;
      for (int c = 1; c < first_write; ++c)
        if (reference.log[static_cast<std::size_t>(c - 1)] == "look " + name) looked = c;
      for (const char* planted : {"-> victim.dat", "planted"}) {
        // (A file put under SYSTEM.DAT before the run opened it is the file the run converts.)
        const int from = std::max(call(name, false), planted[0] == '-' ? 0 : input) + 1;
        for (int at = from; at <= reference.calls; ++at) {
          // Whether the run looks at the name again before it next renames or removes it: a change
          // in the moment between that look and the rename or removal is not for the run to see.
          bool noticed = false;
          for (std::size_t c = static_cast<std::size_t>(at - 1); c < reference.log.size(); ++c) {
            const std::string& call = reference.log[c];
            if (call == "look " + name) noticed = true;
            const bool acts = call == "remove " + name ||
                              (call.rfind("rename ", 0) == 0 && call.find(name) != call.npos);
            if (noticed || acts) break;
          }
          const auto files = make(GetParam());
          lay_out(*files);
          FaultInjector injector(*files, [] { return Contents(); });
          injector.can_link = can_link;
          injector.meddle_at = at;
          injector.meddle = [&] {
            if (files->contents().count(name) == 0) return;
            files->move(name, "moved");
            if (planted[0] == '-')
              files->put_link(name, "victim.dat");
            else
              files->put_file(name, planted);
          };
          const Result r = run_injected(files.get(), injector);
          const std::string tag = name + " changed before call " + std::to_string(at) + " (" +
                                  r.log[static_cast<std::size_t>(at - 1)] + ")\n" + r.err;
          ++runs;
          EXPECT_EQ(r.after.at("victim.dat"), victim) << tag;
          EXPECT_TRUE(r.code == 0 || r.code == 16 || r.code == 17) << tag;
          // What another program put there stays: under its name, or where a rename took it in
          // the moment between the run's look and the rename.
          const bool changed = r.after.count("moved") != 0;
          if (changed && noticed && (!target || r.code != 0)) {
            EXPECT_TRUE(std::any_of(r.after.begin(), r.after.end(), [&](const auto& entry) {
              return entry.second == planted;
            })) << tag;
          }
          if (changed && noticed && target && at < placed) {
            EXPECT_NE(r.code, 0) << tag;
          }
          if (r.code == 0) {
            for (const char* file : {"SYSTEM.DAT", "MCFG.DAT"}) {
              if (name == file || (changed && !noticed)) continue;
              EXPECT_EQ(r.after.at(file), converted.after.at(file)) << tag;
            }
            continue;
          }
          ++refused;
          EXPECT_TRUE(r.err.find("changed by another program") != std::string::npos) << tag;
          // Refused: both files as they were, under their names (or where another program moved
          // one, there); where it moved the name that kept the old MCFG.DAT, that is where the
          // old one is.
          for (const char* file : {"SYSTEM.DAT", "MCFG.DAT"}) {
            if (!noticed) break;
            const bool moved = name == file || (file[0] == 'M' && name == ".MCFG.DAT.4711-0.old" &&
                                                r.after.at("MCFG.DAT") != "old MCFG");
            const std::string& now = r.after.at(moved ? "moved" : file);
            EXPECT_EQ(now, file[0] == 'S' ? system_file(210) : "old MCFG") << file << ": " << tag;
          }
          // Changed before the run's last look before it writes: found out before it makes
          // anything.
          if (at <= looked) {
            EXPECT_EQ(
                std::count_if(r.log.begin(), r.log.end(),
                              [](const std::string& c) { return c.rfind("create_new", 0) == 0; }),
                0)
                << tag;
          }
          for (const auto& [left, content] : r.after)
            EXPECT_TRUE(left[0] != '.' || stated(r.err, left)) << left << ": " << tag;
        }
      }
    }
  }
  std::printf("names changed behind the run: %d runs, %d refused, none wrote through a link\n",
              runs, refused);
}

// Names the run would use that are taken when it starts: a killed run's left-overs under this
// run's process id, or links to MCFG.DAT that another user planted under the keeping names. A
// name is only ever one the run made itself: taken names are passed over and left as they are,
// and where none is free, the run refuses before anything is touched.
TEST_P(ReplaceProtocol, NamesTakenBeforeTheRun) {
  if (!make(GetParam())->has_links()) GTEST_SKIP() << "no symbolic links here";
  const struct {
    const char* name;
    int links;  // links to MCFG.DAT planted under the first keeping names
    bool stale_temporaries;
    bool can_link;  // else the old MCFG.DAT is renamed to the keeping name
    int code;
  } cases[] = {
      {"a killed run's temporary files", 0, true, true, 0},
      {"links under all keeping names but the last", 99, false, true, 0},
      {"links under every keeping name", 100, false, true, 17},
      {"links under every keeping name, no hard links", 100, false, false, 17},
  };
  for (const auto& c : cases) {
    const auto files = make(GetParam());
    files->put_file("SYSTEM.DAT", system_file(210));
    files->put_file("MCFG.DAT", "old MCFG");
    for (int n = 0; n < c.links; ++n)
      files->put_link(".MCFG.DAT.4711-" + std::to_string(n) + ".old", "MCFG.DAT");
    if (c.stale_temporaries) {
      files->put_file(".SYSTEM.DAT.4711-0.tmp", "stale");
      files->put_file(".MCFG.DAT.4711-0.tmp", "stale");
    }
    const Contents before = files->contents();
    FaultInjector injector(*files, [] { return Contents(); });
    injector.can_link = c.can_link;
    const Result r = run_injected(files.get(), injector);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    Contents expected = before;
    if (c.code == 0) {
      expected["SYSTEM.DAT"] = r.after.at("SYSTEM.DAT");
      expected["MCFG.DAT"] = r.after.at("MCFG.DAT");
      EXPECT_EQ(r.after.at("SYSTEM.DAT").size(), 18620u) << c.name;
      EXPECT_EQ(r.after.at("MCFG.DAT").size(), 460u) << c.name;
    } else {
      const std::string taken = c.can_link ? "-99.old: link: taken" : "-99.old: rename: taken";
      EXPECT_NE(r.err.find(".MCFG.DAT.4711" + taken), std::string::npos) << r.err;
    }
    EXPECT_TRUE(r.after == expected) << c.name << "\n" << r.err;
  }
}

// The permission bits are given when the content is complete: a write clears the set-user-ID
// and set-group-ID bits. A new MCFG.DAT gets 0666 less the umask, as any new file.
TEST(ReplaceProtocolInMemory, PermissionBitsKept) {
  FakeFileSystem fs;
  fs.umask = 027;
  fs.put_file("SYSTEM.DAT", system_file(210), 04750);
  FaultInjector injector(fs, [] { return Contents(); });
  ASSERT_EQ(run_injected(&fs, injector).code, 0);
  EXPECT_EQ(fs.mode_of("SYSTEM.DAT"), 04750);
  EXPECT_EQ(fs.mode_of("MCFG.DAT"), 0640);
  fs.put_file("SYSTEM.DAT", system_file(210), 02640);
  fs.put_file("MCFG.DAT", "old", 0600);
  ASSERT_EQ(run_injected(&fs, injector).code, 0);
  EXPECT_EQ(fs.mode_of("SYSTEM.DAT"), 02640);
  EXPECT_EQ(fs.mode_of("MCFG.DAT"), 0600);
  EXPECT_EQ(fs.writes_open_to_others, 0);
}

// Where the old MCFG.DAT lies when its keeping name outlives the run, in whole lines however
// long the paths: after success it may be deleted; where it could not be put back, it is the
// one to restore.
TEST(ReplaceProtocolInMemory, WhereTheOldMcfgLies) {
  const struct {
    const char* name;
    std::vector<std::string> failing;
    int code;
    const char* advice;
  } cases[] = {
      {"removing it after success", {"remove .MCFG.DAT"}, 0, "it may be deleted"},
      {"putting it back",
       {"rename .SYSTEM.DAT", "rename .MCFG.DAT.4711-0.old"},
       16,
       "rename it to {target} to restore it"},
  };
  for (const auto& c : cases) {
    for (const std::size_t length : {5, 2500}) {
      const std::string dir(length, 'd');
      const std::string target = dir + "/mcfg.dat", kept = dir + "/.MCFG.DAT.4711-0.old";
      std::string advice = c.advice;
      if (advice.find("{target}") != std::string::npos)
        advice.replace(advice.find("{target}"), 8, target);
      FakeFileSystem fs;
      fs.put_file("SYSTEM.DAT", system_file(210));
      fs.put_file(target, "old");
      fs.put_link("MCFG.DAT", target);
      FaultInjector injector(fs, [] { return Contents(); });
      injector.fail_named = c.failing;
      const Result r = run_injected(&fs, injector);
      EXPECT_EQ(r.code, c.code) << c.name;
      const std::string line = "datlift: " + kept + ": holds the old " + target + ": " + advice;
      EXPECT_NE(r.err.find("\n" + line + "\n"), std::string::npos) << c.name << "\n" << r.err;
      EXPECT_EQ(r.after.at(kept), "old") << c.name;
      EXPECT_EQ(r.err.back(), '\n') << c.name;
    }
  }
}

// Another run holding the lock: waited for up to ten seconds, then refused with code 19; the
// wait on the injector's clock, the lock the file system's own.
// The number of the first call of a run that begins with `text`.
int first_call(const std::vector<std::string>& log, const std::string& text) {
  return static_cast<int>(
             std::find_if(log.begin(), log.end(),
                          [&](const std::string& c) { return c.rfind(text, 0) == 0; }) -
             log.begin()) +
         1;
}

// Another program's file, put under a name just after the run looked at it, whichever way the run
// then ends: it stays as it is, under that name and no other, and the run says where it found it
// (whatever else may also notice it later). And a new file put in place of SYSTEM.DAT between the
// lock and the read, as another run puts its own, is the one the run reads, locked anew.
TEST_P(ReplaceProtocol, AnotherProgramsFileStays) {
  const struct {
    const char* name;
    bool old_mcfg;
    const char* after;  // the call just after which the file is put there
    const char* under;
    const char* fail;  // a call that then fails
    int code;
    const char* err;  // what standard error says of the change
  } cases[] = {
      {"under the keeping name, then success", true, "rename .MCFG.DAT.4711-0.tmp",
       ".MCFG.DAT.4711-0.old", "", 0, "./.MCFG.DAT.4711-0.old: remove: another file stands"},
      {"under the keeping name, then a failure", true, "rename .MCFG.DAT.4711-0.tmp",
       ".MCFG.DAT.4711-0.old", "rename .SYSTEM.DAT", 16,
       "./.MCFG.DAT.4711-0.old: put back: changed"},
      {"under a new MCFG.DAT, then a failure", false, "rename .MCFG.DAT.4711-0.tmp", "MCFG.DAT",
       "rename .SYSTEM.DAT", 16, ""},
      {"under SYSTEM.DAT as the run writes", true, "write .SYSTEM.DAT", "SYSTEM.DAT", "", 16,
       "SYSTEM.DAT: keep metadata: changed"},
      {"a new SYSTEM.DAT after the lock", true, "lock SYSTEM.DAT", "SYSTEM.DAT", "", 13, ""},
  };
  for (const auto& c : cases) {
    auto lay = [&](TestFileSystem& f) {
      f.put_file("SYSTEM.DAT", system_file(210));
      if (c.old_mcfg) f.put_file("MCFG.DAT", "old MCFG");
    };
    const auto reference_files = make(GetParam());
    lay(*reference_files);
    FaultInjector reference(*reference_files, [] { return Contents(); });
    ASSERT_EQ(run_injected(reference_files.get(), reference).code, 0);
    const int at = first_call(reference.log, c.after) + 1;
    const std::string planted = c.code == 13 ? system_file(250) : "planted";
    const auto files = make(GetParam());
    lay(*files);
    FaultInjector injector(*files, [] { return Contents(); });
    if (c.fail[0] != 0) injector.fail_named = {c.fail};
    injector.meddle_at = at;
    injector.meddle = [&] {
      if (files->contents().count(c.under) != 0) files->move(c.under, "moved");
      files->put_file(c.under, planted);
    };
    const Result r = run_injected(files.get(), injector);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    EXPECT_EQ(r.after.at(c.under), planted) << c.name;
    EXPECT_EQ(std::count_if(r.after.begin(), r.after.end(),
                            [&](const auto& entry) { return entry.second == planted; }),
              1)
        << c.name;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << c.name << "\n" << r.err;
    if (c.code == 13) {
      EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "lock SYSTEM.DAT"), 2) << c.name;
    }
  }
}

TEST_P(ReplaceProtocol, WaitForTheLock) {
  const struct {
    int busy_attempts;
    int code;
    int waited_ms;
  } cases[] = {{0, 0, 0}, {3, 0, 30}, {1000, 0, 10000}, {1001, 19, 10000}};
  for (const auto& c : cases) {
    const auto files = make(GetParam());
    files->put_file("SYSTEM.DAT", system_file(210));
    const Contents before = files->contents();
    FaultInjector injector(*files, [] { return Contents(); });
    injector.busy_attempts = c.busy_attempts;
    const Result r = run_injected(files.get(), injector);
    EXPECT_EQ(r.code, c.code) << c.busy_attempts;
    EXPECT_EQ(r.waited_ms, c.waited_ms) << c.busy_attempts;
    if (c.code == 19) {
      EXPECT_EQ(r.out, "DATLIFT V2.50\nFile >> SYSTEM.DAT << is in use!\n");
      EXPECT_TRUE(r.after == before);
    }
  }
}

}  // namespace
}  // namespace datlift
