// SPDX-License-Identifier: MIT
// The built program as a process in scratch directories: exit codes, printed bytes and the bytes
// of both files, for the main paths and every exit code.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <sstream>

#include "support/expected_text.h"
#include "support/process.h"
#include "support/sample_image.h"
#include "support/syscall_trace.h"

namespace datlift {
namespace {

using namespace test;

using test::system_dat;

Image truncated(Image image, std::size_t size) {
  image.resize(size);
  return image;
}

const Image kOldMcfg(1000, 0x77);

struct ProcessCase {
  const char* name;
  std::optional<Image> system;  // none: no SYSTEM.DAT
  std::vector<std::string> args;
  int code;
  std::string printed;
  std::size_t written;  // size of the new SYSTEM.DAT; 0: both files must stay as they were
  bool mcfg = false;    // a new MCFG.DAT of 460 bytes
};

TEST(Process, EveryExitCode) {
  const std::string r210 = kBanner + read_in("V2.10", "PLX-8");
  const std::string r250 = kBanner + read_in("V2.50", "PLX-8");
  const std::string c210 = conversion("PLX-8", "2.10", "PLX-8", "2.50");
  // Where the blocks of a V2.10 file end: header, axis records, names, general record, tables.
  const auto end = test::block_offsets(210, false);
  const ProcessCase cases[] = {
      {"typical run", system_dat(210), {}, 0, r210 + c210 + kGenerated, 18620, true},
      {"V1.71 to V2.00",
       system_dat(171),
       {"/V2.00"},
       0,
       kBanner + read_in("V1.71", "PLX-8") + conversion("PLX-8", "1.71", "PLX-8", "2.00"),
       16623},
      {"identify only", system_dat(250), {"/NC"}, 0, r250, 0},
      {"usage", system_dat(210), {"/PLX-8", "/PLX-8"}, 1, kBanner + kUsage, 0},
      {"usage without SYSTEM.DAT", std::nullopt, {"/A"}, 1, kBanner + kUsage, 0},
      {"not found", std::nullopt, {}, 2, kBanner + kNotFound, 0},
      {"not found, identify only", std::nullopt, {"/NC"}, 2, kBanner + kNotFound, 0},
      {"bad identification", Image(127, 'S'), {}, 2, kBanner + bad_format(2), 0},
      {"bad identification, identify only", Image(2000, 0), {"/NC"}, 2, kBanner + bad_format(2), 0},
      {"unknown model",
       system_dat(210, "plx-8"),
       {},
       4,
       kBanner + read_in("V2.10", "plx-8") + bad_format(4),
       0},
      {"unknown version",
       [] {
         test::SampleRecipe s;
         s.version_token = "V3.00";
         return test::build_system_dat(s);
       }(),
       {},
       5,
       kBanner + read_in("V3.00", "PLX-8") + "Sorry, but PLX-8 V3.00 cannot be converted!\n",
       0},
      {"axis records short",
       truncated(system_dat(210), end[1] - 1),
       {},
       6,
       r210 + bad_format(6),
       0},
      {"V1.71 of PLX-4K",
       system_dat(171, "PLX-4K"),
       {},
       7,
       kBanner + read_in("V1.71", "PLX-4K") + "Sorry, but PLX-4K V1.71 cannot be converted!\n",
       0},
      {"axis names missing", truncated(system_dat(210), end[1]), {}, 8, r210 + bad_format(8), 0},
      {"general record short",
       truncated(system_dat(210), end[3] - 1),
       {},
       9,
       r210 + bad_format(9),
       0},
      {"table A short", truncated(system_dat(210), end[4] - 1), {}, 10, r210 + bad_format(10), 0},
      {"table B short", truncated(system_dat(210), end[5] - 1), {}, 11, r210 + bad_format(11), 0},
      {"newest version", system_dat(250), {}, 13, r250 + kNewest, 0},
      {"downgrade", system_dat(210), {"/V2.00"}, 13, r210 + kNoUpdate, 0},
      {"break at V1.71",
       system_dat(171),
       {"/PLX-8200"},
       14,
       kBanner + read_in("V1.71", "PLX-8") +
           "Break at undefined Version PLX-8 V1.71 --> PLX-8200 V2.50!\n",
       0},
      {"only upward", system_dat(210), {"/V2.10"}, 15, r210 + c210 + kUpward, 0},
      {"target above V2.50",
       system_dat(210),
       {"/V3"},
       18,
       r210 + c210 + "Unknown Version (3.00) specified!\n",
       0},
  };
  for (const ProcessCase& c : cases) {
    ScratchDir dir;
    if (c.system) write_file(dir / "SYSTEM.DAT", *c.system);
    write_file(dir / "MCFG.DAT", kOldMcfg);
    const auto before = snapshot(dir.path());
    const ProcessResult r = run_process(dir.path(), c.args);
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_EQ(r.output, c.printed) << c.name;
    const auto after = snapshot(dir.path());
    if (c.written == 0) {
      EXPECT_EQ(after, before) << c.name;
      continue;
    }
    EXPECT_EQ(after.size(), 2u) << c.name;  // nothing left behind
    EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), c.written) << c.name;
    EXPECT_EQ(read_file(dir / "MCFG.DAT").size(), c.mcfg ? 460u : kOldMcfg.size()) << c.name;
  }
}

// What stands under the name SYSTEM.DAT when it is not a file.
TEST(Process, SystemDatThatIsNoFile) {
  const std::function<void(const ScratchDir&)> setups[] = {
      [](const ScratchDir& d) { fs::create_directory(d / "SYSTEM.DAT"); },
      [](const ScratchDir& d) { fs::create_symlink("MISSING.DAT", d / "SYSTEM.DAT"); },
      [](const ScratchDir& d) { ::mkfifo((d / "SYSTEM.DAT").c_str(), 0644); },
  };
  for (const auto& setup : setups) {
    ScratchDir dir;
    setup(dir);
    const auto before = snapshot(dir.path());
    const ProcessResult r = run_process(dir.path(), {});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.output, kBanner + kNotFound);
    EXPECT_EQ(snapshot(dir.path()), before);
  }
}

TEST(Process, LinkStaysALinkAndItsTargetIsReplaced) {
  ScratchDir dir;
  fs::create_directory(dir / "store");
  write_file(dir / "store" / "machine7.dat", system_dat(210));
  ::chmod((dir / "store" / "machine7.dat").c_str(), 0640);
  fs::create_symlink("store/machine7.dat", dir / "SYSTEM.DAT");
  const ProcessResult r = run_process(dir.path(), {});
  EXPECT_EQ(r.code, 0) << r.output;
  EXPECT_TRUE(fs::is_symlink(dir / "SYSTEM.DAT"));
  EXPECT_EQ(fs::read_symlink(dir / "SYSTEM.DAT"), "store/machine7.dat");
  EXPECT_EQ(read_file(dir / "store" / "machine7.dat").size(), 18620u);
  struct stat st;
  ASSERT_EQ(::stat((dir / "store" / "machine7.dat").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_EQ(snapshot(dir / "store").size(), 1u);
  EXPECT_EQ(snapshot(dir.path()).size(), 3u);  // store, SYSTEM.DAT, MCFG.DAT
}

TEST(Process, ReplacementKeepsThePermissionBits) {
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", system_dat(200));
  write_file(dir / "MCFG.DAT", kOldMcfg);
  ::chmod((dir / "SYSTEM.DAT").c_str(), 0604);
  ::chmod((dir / "MCFG.DAT").c_str(), 0640);
  ASSERT_EQ(run_process(dir.path(), {}).code, 0);
  struct stat sys, cfg;
  ASSERT_EQ(::stat((dir / "SYSTEM.DAT").c_str(), &sys), 0);
  ASSERT_EQ(::stat((dir / "MCFG.DAT").c_str(), &cfg), 0);
  EXPECT_EQ(sys.st_mode & 07777, 0604u);
  EXPECT_EQ(cfg.st_mode & 07777, 0640u);
  EXPECT_EQ(read_file(dir / "MCFG.DAT").size(), 460u);

  ScratchDir fresh;  // a new MCFG.DAT is made as any new file (umask 022)
  write_file(fresh / "SYSTEM.DAT", system_dat(210));
  ASSERT_EQ(run_process(fresh.path(), {}).code, 0);
  ASSERT_EQ(::stat((fresh / "MCFG.DAT").c_str(), &cfg), 0);
  EXPECT_EQ(cfg.st_mode & 07777, 0644u);
}

// Files that cannot be replaced where the kernel says so: for another user, and beyond the file
// size limit. The message, the code, and both files as they were. (What any file system shows,
// a directory or a link where a file belongs among them, runs in-process on the disk's
// primitives: src/files/replace_protocol_test.cc.)
TEST(Process, FilesThatCannotBeReplaced) {
  const std::string lines =
      kBanner + read_in("V2.10", "PLX-8") + conversion("PLX-8", "2.10", "PLX-8", "2.50");
  const struct {
    const char* name;
    std::function<void(const ScratchDir&)> setup;
    bool drop_privileges;
    rlim_t file_size_limit;
    int code;
    std::string message;
  } cases[] = {
      {"SYSTEM.DAT read-only",
       [](const ScratchDir& d) { ::chmod((d / "SYSTEM.DAT").c_str(), 0444); }, true, RLIM_INFINITY,
       16, kSystemNotCreated},
      {"directory read-only", [](const ScratchDir& d) { ::chmod(d.path().c_str(), 0555); }, true,
       RLIM_INFINITY, 16, kSystemNotCreated},
      {"MCFG.DAT read-only", [](const ScratchDir& d) { ::chmod((d / "MCFG.DAT").c_str(), 0444); },
       true, RLIM_INFINITY, 17, kMcfgNotCreated},
      {"file size limit", [](const ScratchDir&) {}, false, 10000, 16, kSystemNotCreated},
  };
  for (const auto& c : cases) {
    ScratchDir dir;
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    write_file(dir / "MCFG.DAT", kOldMcfg);
    c.setup(dir);
    const auto before = snapshot(dir.path());
    ProcessSetup setup;
    if (c.drop_privileges) setup.prefix = unprivileged(dir);
    setup.file_size_limit = c.file_size_limit;
    const ProcessResult r = run_process(dir.path(), {}, setup);
    EXPECT_EQ(r.code, c.code) << c.name;
    EXPECT_EQ(r.output, lines + c.message) << c.name;
    EXPECT_EQ(snapshot(dir.path()), before) << c.name;
    // One line for people: the file, the step and the system's error. (An instrumented build's
    // runtime may add its own lines.)
    std::size_t lines = 0;
    for (std::size_t at = 0; (at = r.error.find("datlift: ", at)) != std::string::npos; ++at)
      lines += at == 0 || r.error[at - 1] == '\n';
    EXPECT_EQ(lines, 1u) << c.name << r.error;
  }
}

TEST(Process, ExistingMcfgOfAnySizeIsReplaced) {
  for (std::size_t size : {0u, 459u, 461u, 100000u}) {
    ScratchDir dir;
    write_file(dir / "SYSTEM.DAT", system_dat(210));
    write_file(dir / "MCFG.DAT", Image(size, 0x33));
    ASSERT_EQ(run_process(dir.path(), {}).code, 0);
    const Image mcfg = read_file(dir / "MCFG.DAT");
    ASSERT_EQ(mcfg.size(), 460u);
    EXPECT_EQ(mcfg[444], 1);
    EXPECT_EQ(mcfg[445], 0);
  }
}

// On a terminal a refusal is explained on standard error first; scripts that capture standard
// error see nothing more.
TEST(Process, RefusalExplainedOnATerminalOnly) {
  if (std::system("script -V >/dev/null 2>&1") != 0) GTEST_SKIP() << "no script(1)";
  const std::string why =
      "datlift: SYSTEM.DAT: ends inside its axis name table: 13000 of the 13016 bytes that V2.10 "
      "needs";
  ScratchDir dir;
  write_file(dir / "SYSTEM.DAT", truncated(system_dat(210), 13000));
  const ProcessResult captured = run_process(dir.path(), {});
  EXPECT_EQ(captured.code, 8);
  EXPECT_EQ(captured.error, "");
  ProcessSetup terminal;  // standard output and error both on the terminal that script makes
  terminal.prefix = {"script", "-qec", std::string(DATLIFT_BINARY)};
  terminal.binary = "/dev/null";  // script's log file
  const ProcessResult r = run_process(dir.path(), {}, terminal);
  EXPECT_EQ(r.code, 8);
  const auto at_why = r.output.find(why), at_message = r.output.find(bad_format(8));
  EXPECT_NE(at_why, std::string::npos) << r.output;
  EXPECT_LT(at_why, at_message) << r.output;
}

// With the standard streams closed, the run still does its whole work, and none of its files
// takes the number of a stream, where a message would go into it.
TEST(Process, ClosedStandardStreams) {
  ScratchDir dir, logs;
  write_file(dir / "SYSTEM.DAT", system_dat(210));
  ProcessSetup setup;
  const bool traced = strace_usable();
  if (traced) setup.prefix = {"strace", "-o", (logs / "trace").string(), "-e", "trace=openat"};
  for (const char* word : {"sh", "-c", "exec \"$0\" \"$@\" <&- >&- 2>&-"})
    setup.prefix.push_back(word);
  EXPECT_EQ(run_process(dir.path(), {}, setup).code, 0);
  EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), 18620u);
  EXPECT_EQ(read_file(dir / "MCFG.DAT").size(), 460u);
  EXPECT_EQ(snapshot(dir.path()).size(), 2u);
  if (!traced) return;
  const Image trace = read_file(logs / "trace");
  std::istringstream lines(std::string(trace.begin(), trace.end()));
  int own = 0;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("DAT") == std::string::npos && line.find("\".\"") == std::string::npos) continue;
    ++own;
    EXPECT_GT(std::stoi(line.substr(line.rfind("= ") + 2)), 2) << line;
  }
  EXPECT_GT(own, 4);
}

// Writes that take only part of what they are given: the files come out whole all the same.
TEST(Process, PartialWrites) {
#ifdef DATLIFT_INSTRUMENTED
  GTEST_SKIP() << "the sanitizers' runtime does not take a preloaded library";
#endif
  ScratchDir plain, partial;
  for (const ScratchDir* d : {&plain, &partial}) write_file(*d / "SYSTEM.DAT", system_dat(171));
  ProcessSetup setup;
  setup.binary = DATLIFT_COUNTING_BINARY;
  const ProcessResult whole = run_process(plain.path(), {}, setup);
  ASSERT_EQ(whole.code, 0);
  setup.prefix = {"env", std::string("LD_PRELOAD=") + SHORT_WRITES_LIBRARY};
  const ProcessResult in_parts = run_process(partial.path(), {}, setup);
  ASSERT_EQ(in_parts.code, 0);
  EXPECT_EQ(in_parts.output, whole.output);
  EXPECT_EQ(snapshot(partial.path()), snapshot(plain.path()));
  EXPECT_EQ(read_file(partial / "SYSTEM.DAT").size(), 18620u);
}

// Bytes that the run read from SYSTEM.DAT, as strace saw them.
std::size_t bytes_read_from_system_dat(const std::string& trace) {
  std::istringstream lines(trace);
  std::string line;
  std::string fd;
  std::size_t total = 0;
  while (std::getline(lines, line)) {
    if (line.find("\"SYSTEM.DAT\"") != std::string::npos && line.find("open") == 0) {
      fd = line.substr(line.rfind("= ") + 2);
    } else if (!fd.empty() && line.rfind("read(" + fd + ",", 0) == 0) {
      total += std::stoul(line.substr(line.rfind("= ") + 2));
    } else if (!fd.empty() && line.rfind("close(" + fd + ")", 0) == 0) {
      fd.clear();
    }
  }
  return total;
}

// Nothing behind axis table B is read, however long the file.
TEST(Process, ReadsNoFurtherThanTheLastBlock) {
  if (!strace_usable()) GTEST_SKIP() << "strace cannot trace here";
  const struct {
    int version;
    bool long_header;
    std::size_t size;
  } cases[] = {{171, false, 13671},
               {200, false, 16623},
               {210, true, 18548},
               {250, true, 18620},
               {250, false, 17724}};
  for (const auto& c : cases) {
    test::SampleRecipe recipe;
    recipe.version = c.version;
    recipe.header = c.long_header ? test::HeaderChoice::long_form : test::HeaderChoice::short_form;
    Image image = test::build_system_dat(recipe);
    ASSERT_EQ(image.size(), c.size);
    image.resize(image.size() + (1 << 20), 0xEE);
    ScratchDir dir;
    ScratchDir logs;
    write_file(dir / "SYSTEM.DAT", image);
    ProcessSetup setup;
    setup.prefix = {"strace", "-e", "trace=open,openat,read,close", "-o",
                    (logs / "trace").string()};
    EXPECT_EQ(run_process(dir.path(), {"/AX"}, setup).code, 0);
    const Image trace = read_file(logs / "trace");
    EXPECT_EQ(bytes_read_from_system_dat(std::string(trace.begin(), trace.end())), c.size)
        << c.version;
    EXPECT_EQ(read_file(dir / "SYSTEM.DAT").size(), 18620u);
  }
}

// The working set is fixed storage: a run allocates nothing, whatever path it takes.
TEST(Process, NoHeapAllocationDuringARun) {
#ifdef DATLIFT_INSTRUMENTED
  GTEST_SKIP() << "the runtime of sanitizers and coverage allocates for itself";
#endif
  const std::vector<std::string> runs[] = {
      {}, {"/NC"}, {"/V1e300"}, {"/V2." + std::string(3000, '0') + "1", "/ANAME"}, {"/X"}};
  for (const auto& args : runs) {
    ScratchDir dir;
    write_file(dir / "SYSTEM.DAT", system_dat(171));
    write_file(dir / "MCFG.DAT", Image(100, 1));
    ProcessSetup setup;
    setup.binary = DATLIFT_COUNTING_BINARY;
    const ProcessResult r = run_process(dir.path(), args, setup);
    EXPECT_NE(r.error.find("allocations during the run: 0\n"), std::string::npos) << r.error;
  }
}

}  // namespace
}  // namespace datlift
