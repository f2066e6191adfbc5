// SPDX-License-Identifier: MIT
// The replace protocol on real system calls: runs at the same time on one file, termination
// signals in the write phase, the lock held by another process, metadata of the old file.
#include <sys/file.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <csignal>
#include <future>

#include "support/expected_text.h"
#include "support/process.h"
#include "support/sample_image.h"
#include "support/syscall_trace.h"

namespace datlift {
namespace {

using namespace testing;
using Snapshot = std::map<std::string, std::string>;

using sample::system_dat;

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
  s.first_output = run_datlift(dir.path(), first).output;
  s.second_output = run_datlift(dir.path(), second).output;
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
    auto started = std::async(std::launch::async, [&] { return run_datlift(dir.path(), *early); });
    const ProcessResult second = run_datlift(dir.path(), *late);
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

TEST(Protocol, LockHeldByAnotherProcess) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  const Snapshot before = snapshot(dir.path());
  const int fd = ::open((dir / "SYSTEM.DAT").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX), 0);
  const auto started = std::chrono::steady_clock::now();
  const ProcessResult busy = run_datlift(dir.path(), {});
  const auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_EQ(busy.code, 19);
  EXPECT_EQ(busy.output, kBanner + "File >> SYSTEM.DAT << is in use!\n");
  EXPECT_GE(waited, std::chrono::seconds(10));
  EXPECT_LT(waited, std::chrono::seconds(12));
  EXPECT_EQ(snapshot(dir.path()), before);
  EXPECT_EQ(run_datlift(dir.path(), {"/NC"}).code, 0);  // identifying takes no lock
  ::close(fd);
  EXPECT_EQ(run_datlift(dir.path(), {}).code, 0);
}

// A termination signal in the write phase is held until both files are in place; then it ends
// the run. No temporary file is left.
TEST(Protocol, TerminationSignalsInTheWritePhase) {
  if (std::system("strace -o /dev/null true >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "strace cannot trace here";
  ScratchDir ref_dir, logs;
  write_file(ref_dir / "SYSTEM.DAT", system_dat(210));
  write_file(ref_dir / "MCFG.DAT", Image(300, 0x42));
  ProcessSetup traced;
  traced.prefix = {"strace", "-o", (logs / "trace").string()};
  ASSERT_EQ(run_datlift(ref_dir.path(), {}, traced).code, 0);
  const Snapshot converted = snapshot(ref_dir.path());
  // The calls from the first one that concerns a temporary file on.
  std::vector<Syscall> calls;
  bool writing = false;
  for (const Syscall& c : read_trace(logs / "trace")) {
    writing = writing || c.line.find(".tmp\"") != std::string::npos;
    if (writing && !c.runtime && c.name != "exit_group") calls.push_back(c);
  }
  ASSERT_GT(calls.size(), 10u);
  const int signals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
  const char* names[] = {"INT", "TERM", "HUP", "QUIT"};
  int runs = 0, left_behind = 0;
  for (const Syscall& c : calls) {
    const int k = runs++ % 4;
    ScratchDir dir;
    const std::optional<ProcessResult> r = run_injected(
        dir,
        [&] {
          write_file(dir / "SYSTEM.DAT", system_dat(210));
          write_file(dir / "MCFG.DAT", Image(300, 0x42));
        },
        {}, c, std::string("signal=") + names[k]);
    if (!r) continue;
    const Snapshot after = snapshot(dir.path());
    EXPECT_EQ(r->signal, signals[k]) << c.line;
    EXPECT_EQ(after, converted) << c.line;
    left_behind += static_cast<int>(after.size()) - 2;
  }
  std::printf("signal runs: %d; files left behind: %d\n", runs, left_behind);
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
  const ProcessResult r = run_datlift(dir.path(), {});
  ASSERT_EQ(r.code, 0) << r.error;
  EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), 18620u);
  EXPECT_EQ(command_output(dump), before);
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
  const ProcessResult r = run_datlift(dir.path(), {}, setup);
  ASSERT_EQ(r.code, 0) << r.output << r.error;
  struct stat st;
  ASSERT_EQ(::stat((dir / "SYSTEM.DAT").c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, 1234u);
  EXPECT_EQ(st.st_gid, 4321u);
  EXPECT_EQ(st.st_mode & 07777, 0664u);
  EXPECT_EQ(st.st_size, 18620);
}

}  // namespace
}  // namespace datlift
