// SPDX-License-Identifier: MIT
// The replace protocol on real system calls: runs at the same time on one file, termination
// signals in the write phase, the lock held by another process, metadata of the old file.
#include <poll.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <future>
#include <thread>

#include "support/expected_text.h"
#include "support/process.h"
#include "support/sample_image.h"
#include "support/syscall_trace.h"

namespace datlift {
namespace {

using namespace test;
using Snapshot = std::map<std::string, std::string>;

using test::system_dat;

struct Serial {
  Snapshot after;
  std::string first_output, second_output;
};

// Two runs one after the other, as the lock must make any two runs behave.
Serial serially(const Image& start, const std::vector<std::string>& first,
                const std::vector<std::string>& second) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", start);
  Serial s;
  s.first_output = run_process(dir.path(), first).output;
  s.second_output = run_process(dir.path(), second).output;
  s.after = snapshot(dir.path());
  return s;
}

TEST(Protocol, ConcurrentRunsBehaveAsOneAfterTheOther) {
  const Image start = system_dat(210);
  const std::vector<std::string> a = {"/PLX-8"}, b = {"/PLX-8200"};
  const Serial ab = serially(start, a, b), ba = serially(start, b, a);
  ASSERT_NE(ab.after, ba.after);
  constexpr int kTrials = 100;
  int as_ab = 0, as_ba = 0;
  for (int trial = 0; trial < kTrials; ++trial) {
    ScratchDir dir;
    write_file(dir / "SYSTEM.DAT", start);
    // Either run may start first.
    const std::vector<std::string>* early = trial % 2 == 0 ? &a : &b;
    const std::vector<std::string>* late = trial % 2 == 0 ? &b : &a;
    auto started = std::async(std::launch::async, [&] { return run_process(dir.path(), *early); });
    const ProcessResult second = run_process(dir.path(), *late);
    const ProcessResult first = started.get();
    const ProcessResult& ra = trial % 2 == 0 ? first : second;
    const ProcessResult& rb = trial % 2 == 0 ? second : first;
    const Snapshot after = snapshot(dir.path());
    if (after == ab.after && ra.output == ab.first_output && rb.output == ab.second_output) {
      ++as_ab;
    } else if (after == ba.after && rb.output == ba.first_output && ra.output == ba.second_output) {
      ++as_ba;
    } else {
      ADD_FAILURE() << "trial " << trial << ": no serial order\n"
                    << ra.output << ra.error << rb.output << rb.error;
    }
  }
  std::printf("concurrent trials: %d; as /PLX-8 first: %d, as /PLX-8200 first: %d\n", kTrials,
              as_ab, as_ba);
}

// Another process holds the lock: the run waits, and converts the file once it is released.
// (The refusal after ten seconds runs on an injected clock: src/files/os_test.cc.)
TEST(Protocol, LockHeldByAnotherProcess) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  const int fd = ::open((dir / "SYSTEM.DAT").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  EXPECT_EQ(run_process(dir.path(), {"/NC"}).code, 0);  // identifying takes no lock
  const auto started = std::chrono::steady_clock::now();
  auto waiting = std::async(std::launch::async, [&] { return run_process(dir.path(), {}); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ::close(fd);
  const ProcessResult r = waiting.get();
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(300));
  EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), 18620u);
}

// A termination signal in the write phase is held until both files are in place; then it ends
// the run. No temporary file is left.
TEST(Protocol, TerminationSignalsInTheWritePhase) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  ScratchDir ref_dir, logs;
  write_file(ref_dir / "SYSTEM.DAT", system_dat(210));
  write_file(ref_dir / "MCFG.DAT", Image(300, 0x42));
  ProcessSetup traced;
  traced.prefix = {"strace", "-o", (logs / "trace").string()};
  ASSERT_EQ(run_process(ref_dir.path(), {}, traced).code, 0);
  const Snapshot converted = snapshot(ref_dir.path());
  // The calls from the first one that concerns a temporary file on.
  std::vector<Syscall> calls;
  bool writing = false;
  for (const Syscall& c : read_trace(logs / "trace")) {
    writing = writing || c.line.find(".tmp\"") != std::string::npos;
    if (writing && !c.runtime && c.name != "exit_group") calls.push_back(c);
  }
  ASSERT_GT(calls.size(), 10u);
  // Every signal whose default action ends the process, that a process can hold.
  const struct {
    int number;
    const char* name;
  } signals[] = {{SIGINT, "INT"},
                 {SIGTERM, "TERM"},
                 {SIGHUP, "HUP"},
                 {SIGQUIT, "QUIT"},
                 {SIGUSR1, "USR1"},
                 {SIGUSR2, "USR2"},
                 {SIGALRM, "ALRM"},
                 {SIGVTALRM, "VTALRM"},
                 {SIGPROF, "PROF"},
                 {SIGPWR, "PWR"},
                 {SIGIO, "IO"},
                 {SIGXCPU, "XCPU"},
                 {SIGSTKFLT, "STKFLT"},
                 {SIGABRT, "ABRT"},
                 {34, "34"},  // SIGRTMIN
                 // The two that the C library keeps for its threads, and its own calls leave out.
                 {32, "32"},
                 {33, "33"},
                 {64, "64"}};  // SIGRTMAX
  constexpr int kSignals = sizeof signals / sizeof signals[0];
  int runs = 0, left_behind = 0, per_signal[kSignals] = {};
  for (const Syscall& c : calls) {
    const int k = runs++ % kSignals;
    ScratchDir dir;
    const std::optional<ProcessResult> r = run_injected(
        dir,
        [&] {
          write_file(dir / "SYSTEM.DAT", system_dat(210));
          write_file(dir / "MCFG.DAT", Image(300, 0x42));
        },
        {}, c, std::string("signal=") + signals[k].name);
    if (!r) continue;
    const Snapshot after = snapshot(dir.path());
    // strace, which passes the run's end on to its caller, ends by the same signal, but for 32
    // and 33, which the C library keeps from it: it exits with 128 + the signal instead.
    EXPECT_TRUE(r->signal == signals[k].number || r->code == 128 + signals[k].number)
        << signals[k].name << " at " << c.line << ": signal " << r->signal << ", exit " << r->code;
    EXPECT_TRUE(after == converted) << signals[k].name << " at " << c.line;
    left_behind += static_cast<int>(after.size()) - 2;
    ++per_signal[k];
  }
  std::printf("signal runs: %d; files left behind: %d; runs per signal:", runs, left_behind);
  for (int k = 0; k < kSignals; ++k) std::printf(" %s %d", signals[k].name, per_signal[k]);
  std::printf("\n");
}

std::string command_output(const std::string& command) {
  std::string text;
  if (FILE* p = ::popen(command.c_str(), "r")) {
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) text.append(buf, n);
    ::pclose(p);
  }
  return text;
}

TEST(Protocol, AclAndExtendedAttributesKept) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  write_file(dir / "MCFG.DAT", Image(300, 0x42));
  const std::string sys = (dir / "SYSTEM.DAT").string(), cfg = (dir / "MCFG.DAT").string();
  if (std::system(("setfacl -m u:65534:rw,g:65534:r '" + sys + "' 2>/dev/null && setfattr -n " +
                   "user.machine -v cell7 '" + sys + "' 2>/dev/null && setfacl -m u:65534:r '" +
                   cfg + "' 2>/dev/null")
                      .c_str()) != 0)
    GTEST_SKIP() << "no setfacl/setfattr, or the file system holds no ACLs or user attributes";
  const std::string dump =
      "getfacl -c -n -p '" + sys + "' '" + cfg + "'; getfattr --absolute-names -d '" + sys + "'";
  const std::string before = command_output(dump);
  ASSERT_NE(before.find("user:65534:rw-"), std::string::npos) << before;
  const ProcessResult r = run_process(dir.path(), {});
  ASSERT_EQ(r.code, 0) << r.error;
  EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), 18620u);
  EXPECT_EQ(command_output(dump), before);
}

// An attribute that governs access (an ACL, a user attribute) and cannot be given refuses the
// run, every file as it was; one of another kind that this user may not set is left out.
TEST(Protocol, AttributesThatCannotBeGiven) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  const struct {
    const char* set;
    int code;
  } cases[] = {{"setfacl -m u:65534:rw", 16},
               {"setfattr -n user.machine -v cell7", 16},
               {"setfattr -n trusted.machine -v cell7", 0}};
  for (const auto& c : cases) {
    ScratchDir dir;
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    const std::string sys = (dir / "SYSTEM.DAT").string();
    if (std::system((std::string(c.set) + " '" + sys + "' 2>/dev/null").c_str()) != 0)
      GTEST_SKIP() << c.set << ": not here";
    const Snapshot before = snapshot(dir.path());
    ProcessSetup setup;
    setup.prefix = {"strace", "-o", "/dev/null", "-e", "inject=fsetxattr:error=EPERM"};
    EXPECT_EQ(run_process(dir.path(), {}, setup).code, c.code) << c.set;
    if (c.code != 0) {
      EXPECT_TRUE(snapshot(dir.path()) == before) << c.set;
    }
  }
}

// The syncs of a run on this disk, by the file system's type as findmnt names it: a journal that
// keeps changes of names in order needs one directory sync after both files; any other file
// system one after each step that the recovery rule reads.
TEST(Protocol, SyncsOnThisDisk) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  ScratchDir dir, logs;
  const std::string type =
      command_output("findmnt -n -o FSTYPE --target '" + dir.path().string() + "'");
  if (type.empty()) GTEST_SKIP() << "findmnt does not know this file system";
  const bool in_order = type == "ext3\n" || type == "ext4\n" || type == "xfs\n";
  const struct {
    int version;
    const char* args;
    int syncs;
  } cases[] = {{210, "", in_order ? 3 : 5}, {171, "/V2.00", 2}};
  for (const auto& c : cases) {
    write_file(dir / "SYSTEM.DAT", system_dat(c.version));
    write_file(dir / "MCFG.DAT", Image(300, 0x42));
    ProcessSetup traced;
    traced.prefix = {"strace", "-o", (logs / "trace").string(), "-e", "trace=fsync,fdatasync"};
    std::vector<std::string> args;
    if (*c.args) args.push_back(c.args);
    ASSERT_EQ(run_process(dir.path(), args, traced).code, 0) << c.args;
    int syncs = 0;
    for (const Syscall& call : read_trace(logs / "trace")) syncs += call.runtime ? 0 : 1;
    EXPECT_EQ(syncs, c.syncs) << type << c.args;
  }
}

// A signal that the caller holds, pending when the run starts: the run gives back the mask it
// found, so the signal stays held, and the run ends as it would have.
TEST(Protocol, CallersHeldSignalStaysHeld) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  ProcessSetup setup;
  setup.pending_signal = SIGUSR1;
  const ProcessResult r = run_process(dir.path(), {}, setup);
  EXPECT_EQ(r.signal, 0);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.output.substr(r.output.rfind("File")), kGenerated);
}

// A directory that others may write, as another user who plants links and files in it: a link is
// followed only where the system would follow it (in a sticky one, a link of the runner or of
// the directory's owner), and a file of another user in a sticky one is not replaced, since only
// its owner or the directory's may; either is refused before anything is touched.
TEST(Protocol, SharedDirectories) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as other users";
  const std::vector<std::string> as_1234 = {"setpriv", "--reuid=1234", "--regid=1234",
                                            "--clear-groups", "--"};
  const struct {
    const char* name;
    mode_t dir_mode;
    uid_t dir_owner;
    const char* link;  // the name that is a link to the victim, owned by link_owner
    uid_t link_owner;
    uid_t mcfg_owner;  // MCFG.DAT, where it is no link: 0666, of this user
    std::vector<std::string> runner;
    int code;
  } cases[] = {
      {"link of another in a sticky directory", 01777, 0, "SYSTEM.DAT", 65534, 0, {}, 16},
      {"MCFG.DAT a link of another", 01777, 0, "MCFG.DAT", 65534, 0, {}, 17},
      {"link of the runner", 01777, 0, "SYSTEM.DAT", 0, 0, {}, 0},
      {"link of the directory's owner", 01777, 1234, "SYSTEM.DAT", 1234, 0, {}, 0},
      {"link of another, directory not sticky", 0777, 0, "SYSTEM.DAT", 65534, 0, {}, 0},
      {"MCFG.DAT of another in a sticky directory", 01777, 0, nullptr, 0, 65534, as_1234, 17},
      {"MCFG.DAT of another, directory not sticky", 0777, 0, nullptr, 0, 65534, as_1234, 0},
  };
  for (const auto& c : cases) {
    ScratchDir dir, elsewhere;
    const fs::path victim = elsewhere / "thesis.dat";
    const std::string link = c.link != nullptr ? c.link : "";
    const Image victim_content = link == "MCFG.DAT" ? Image(300, 7) : system_dat(210);
    write_file(victim, victim_content);
    ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
    ASSERT_EQ(::chmod(elsewhere.path().c_str(), 0755), 0);
    if (link != "SYSTEM.DAT") write_file(dir / "SYSTEM.DAT", system_dat(210));
    if (link.empty()) {
      write_file(dir / "MCFG.DAT", Image(300, 7));
      ASSERT_EQ(::chown((dir / "MCFG.DAT").c_str(), c.mcfg_owner, c.mcfg_owner), 0);
      ASSERT_EQ(::chmod((dir / "MCFG.DAT").c_str(), 0666), 0);
      ASSERT_EQ(::chown((dir / "SYSTEM.DAT").c_str(), 1234, 1234), 0);
    } else {
      fs::create_symlink(victim, dir / link);
      ASSERT_EQ(::lchown((dir / link).c_str(), c.link_owner, c.link_owner), 0);
    }
    ASSERT_EQ(::chown(dir.path().c_str(), c.dir_owner, c.dir_owner), 0);
    ASSERT_EQ(::chmod(dir.path().c_str(), c.dir_mode), 0);
    const auto before = snapshot(dir.path());
    ProcessSetup setup;
    setup.prefix = c.runner;
    const ProcessResult r = run_process(dir.path(), {}, setup);
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.error;
    const bool victim_written = read_file(victim) != victim_content;
    EXPECT_EQ(victim_written, c.code == 0 && !link.empty()) << c.name;
    if (c.code != 0) {
      EXPECT_EQ(snapshot(dir.path()), before) << c.name;
      EXPECT_EQ(std::count(r.error.begin(), r.error.end(), '\n'), 1) << c.name << "\n" << r.error;
    }
  }
}

// A member of the file's group who is not its owner: the owner cannot be kept, the group can.
TEST(Protocol, GroupKeptWhereTheOwnerCannotBe) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as another user";
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  ASSERT_EQ(::chown(dir.path().c_str(), 1234, 1234), 0);
  ASSERT_EQ(::chown((dir / "SYSTEM.DAT").c_str(), 65534, 4321), 0);
  ASSERT_EQ(::chmod((dir / "SYSTEM.DAT").c_str(), 0664), 0);
  ProcessSetup setup;
  setup.prefix = {"setpriv", "--reuid=1234", "--regid=1234", "--groups=4321", "--"};
  const ProcessResult r = run_process(dir.path(), {}, setup);
  ASSERT_EQ(r.code, 0) << r.output << r.error;
  struct stat st;
  ASSERT_EQ(::stat((dir / "SYSTEM.DAT").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 4321u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(st.st_size, 18620);
}

// Another user who may search the directory opens every new name in it at once, and holds on:
// the temporary files are for the owner alone until their content and access are complete.
class Watcher {
 public:
  explicit Watcher(const fs::path& dir) {
    int ready[2];
    if (::pipe2(ready, O_CLOEXEC) != 0 || ::pipe2(stop_, O_CLOEXEC) != 0 ||
        ::pipe2(result_, O_CLOEXEC) != 0)
      std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(stop_[1]);
      watch(dir.c_str(), ready[1]);
    }
    ::close(ready[1]);
    ::close(stop_[0]);
    ::close(result_[1]);
    char byte;
    if (::read(ready[0], &byte, 1) != 1) std::abort();
    ::close(ready[0]);
  }
  // How many new names the watcher saw, and how many of them it could open.
  std::pair<int, int> finish() {
    ::close(stop_[1]);
    int counts[2] = {};
    if (::read(result_[0], counts, sizeof counts) != sizeof counts) std::abort();
    ::waitpid(pid_, nullptr, 0);
    return {counts[0], counts[1]};
  }

 private:
  [[noreturn]] void watch(const char* dir, int ready) {
    if (::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(1);
    const int in = ::inotify_init1(IN_NONBLOCK);
    if (in < 0 || ::inotify_add_watch(in, dir, IN_CREATE | IN_MOVED_TO) < 0) ::_exit(1);
    if (::write(ready, "r", 1) != 1) ::_exit(1);
    int counts[2] = {};
    alignas(inotify_event) char events[4096];
    for (;;) {
      pollfd fds[2] = {{in, POLLIN, 0}, {stop_[0], POLLIN, 0}};
      ::poll(fds, 2, -1);
      for (ssize_t n; (n = ::read(in, events, sizeof events)) > 0;) {
        for (ssize_t at = 0; at < n;) {
          const auto* e = reinterpret_cast<const inotify_event*>(events + at);
          at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
          if (e->len == 0 || e->name[0] != '.') continue;
          char path[8192];
          std::snprintf(path, sizeof path, "%s/%s", dir, e->name);
          ++counts[0];
          if (::open(path, O_RDONLY) >= 0) ++counts[1];  // kept open, as an attacker would
        }
      }
      if (fds[1].revents != 0) break;
    }
    if (::write(result_[1], counts, sizeof counts) != sizeof counts) ::_exit(1);
    ::_exit(0);
  }

  pid_t pid_;
  int stop_[2];
  int result_[2];
};

TEST(Protocol, TemporaryFilesForTheOwnerAlone) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to watch as another user";
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  constexpr int kRuns = 10;
  int seen = 0, opened = 0;
  for (int run = 0; run < kRuns; ++run) {
    ScratchDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0755), 0);
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    write_file(dir / "MCFG.DAT", Image(300, 0x42));
    ASSERT_EQ(::chmod((dir / "SYSTEM.DAT").c_str(), 0600), 0);
    ASSERT_EQ(::chmod((dir / "MCFG.DAT").c_str(), 0600), 0);
    Watcher watcher(dir.path());
    // Each look at a file slowed down: a window in which a file open to others would be opened.
    ProcessSetup slowed;
    slowed.prefix = {"strace", "-o", "/dev/null", "-e",
                     "inject=newfstatat,fstat,listxattr:delay_enter=20000"};
    slowed.umask = run % 2 == 0 ? 022 : 0;
    EXPECT_EQ(run_process(dir.path(), {}, slowed).code, 0);
    const auto [s, o] = watcher.finish();
    seen += s;
    opened += o;
  }
  std::printf("watcher as another user: %d new names seen in %d runs, %d of them opened\n", seen,
              kRuns, opened);
  EXPECT_GE(seen, kRuns * 3);
  EXPECT_EQ(opened, 0);
}

// Permission bits, owner, group and attributes after runs by the owner, a group member and
// root, whatever the umask: applied when the content is complete, since a write clears the
// set-user-ID and set-group-ID bits, and on a file that its owner may still change.
TEST(Protocol, MetadataKeptForEveryUser) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to run as other users";
  const std::vector<std::string> owner = {"setpriv", "--reuid=1234", "--regid=1234",
                                          "--clear-groups", "--"};
  const std::vector<std::string> member = {"setpriv", "--reuid=1234", "--regid=1234",
                                           "--groups=4321", "--"};
  const struct {
    const char* who;
    uid_t uid;
    gid_t gid;
    mode_t mode;
    std::vector<std::string> runner;
    mode_t umask;
    bool attribute;
    mode_t mode_after;  // a set-ID bit goes only with the owner or group it was set for
  } cases[] = {
      {"owner, set-user-ID", 1234, 1234, 04755, owner, 022, false, 04755},
      {"group member, set-group-ID", 65534, 4321, 02770, member, 022, false, 02770},
      {"group member, set-user-ID of another", 65534, 4321, 06775, member, 022, false, 02775},
      {"owner, umask 0222, user attribute", 1234, 1234, 0640, owner, 0222, true, 0640},
      {"owner, umask 0277, user attribute", 1234, 1234, 0640, owner, 0277, true, 0640},
      {"root, set-user-ID and set-group-ID", 0, 0, 06755, {}, 022, true, 06755},
      {"root, a file of another user in root's group", 1234, 0, 0640, {}, 022, false, 0640},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    const std::string sys = (dir / "SYSTEM.DAT").string();
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    ASSERT_EQ(::chown(dir.path().c_str(), 1234, 1234), 0);
    ASSERT_EQ(::chown(sys.c_str(), c.uid, c.gid), 0);
    ASSERT_EQ(::chmod(sys.c_str(), c.mode), 0);
    if (c.attribute &&
        std::system(("setfattr -n user.machine -v cell7 '" + sys + "'").c_str()) != 0)
      GTEST_SKIP() << "the file system holds no user attributes";
    ProcessSetup setup;
    setup.prefix = c.runner;
    setup.umask = c.umask;
    const ProcessResult r = run_process(dir.path(), {}, setup);
    EXPECT_EQ(r.code, 0) << c.who << "\n" << r.error;
    struct stat st;
    ASSERT_EQ(::stat(sys.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 18620) << c.who;
    EXPECT_EQ(st.st_mode & 07777, c.mode_after) << c.who;
    EXPECT_EQ(st.st_uid, c.runner.empty() ? c.uid : 1234u) << c.who;
    EXPECT_EQ(st.st_gid, c.gid) << c.who;
    if (c.attribute) {
      EXPECT_EQ(
          command_output("getfattr --absolute-names --only-values -n user.machine '" + sys + "'"),
          "cell7")
          << c.who;
    }
    std::printf("%s: mode %04o, owner %u, group %u, exit %d\n", c.who, st.st_mode & 07777,
                st.st_uid, st.st_gid, r.code);
  }
}

// A capability is an attribute that only root may set, and that a write clears.
TEST(Protocol, CapabilityKeptForRoot) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to set a capability";
  ScratchDir dir;
  const std::string sys = (dir / "SYSTEM.DAT").string();
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  if (std::system(("setcap cap_net_raw+ep '" + sys + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "no setcap, or the file system holds no capabilities";
  const std::string before = command_output("getcap '" + sys + "'");
  ASSERT_NE(before.find("cap_net_raw"), std::string::npos) << before;
  ASSERT_EQ(run_process(dir.path(), {}).code, 0);
  EXPECT_EQ(command_output("getcap '" + sys + "'"), before);
  std::printf("capability after a run by root: %s", before.c_str());
}

// A default ACL of the directory gives every new file its entries: the new SYSTEM.DAT has
// exactly the old one's access (none of those entries), and a new MCFG.DAT what any new file there
// gets, also in a directory that the user may search and write but not read.
TEST(Protocol, DefaultAclOfTheDirectory) {
  const std::vector<std::string> as_1234 = {"setpriv", "--reuid=1234", "--regid=1234",
                                            "--clear-groups", "--"};
  const struct {
    const char* name;
    mode_t dir_mode;
    bool as_other_user;
  } cases[] = {{"readable directory", 0755, false}, {"directory not readable", 0333, true}};
  for (const auto& c : cases) {
    if (c.as_other_user && ::geteuid() != 0) continue;
    ScratchDir dir;
    const std::string d = dir.path().string(), sys = d + "/SYSTEM.DAT", ref = d + "/reference";
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    ASSERT_EQ(::chmod(sys.c_str(), 0640), 0);
    if (std::system(("setfacl -d -m u:65534:rwx '" + d + "' 2>/dev/null").c_str()) != 0)
      GTEST_SKIP() << "no setfacl, or the file system holds no ACLs";
    ASSERT_EQ(std::system(("touch '" + ref + "'").c_str()), 0);
    const std::string acl = "getfacl -c -n -p ";
    const std::string before = command_output(acl + "'" + sys + "'");
    ASSERT_EQ(before.find("user:65534"), std::string::npos) << before;
    if (c.as_other_user) {
      ASSERT_EQ(::chown(sys.c_str(), 1234, 1234), 0);
      ASSERT_EQ(::chown(d.c_str(), 1234, 1234), 0);
    }
    ASSERT_EQ(::chmod(d.c_str(), c.dir_mode), 0);
    ProcessSetup setup;
    if (c.as_other_user) setup.prefix = as_1234;
    const ProcessResult r = run_process(dir.path(), {}, setup);
    ASSERT_EQ(r.code, 0) << c.name << "\n" << r.error;
    EXPECT_EQ(command_output(acl + "'" + sys + "'"), before) << c.name;
    EXPECT_EQ(command_output(acl + "'" + d + "/MCFG.DAT'"), command_output(acl + "'" + ref + "'"))
        << c.name;
  }
}

}  // namespace
}  // namespace datlift
