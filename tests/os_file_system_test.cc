// SPDX-License-Identifier: MIT
// Whole runs over the file system of the operating system the tests run on (Linux, or Windows
// under wine): the replace protocol on its real primitives, and the refusals before anything is
// written.
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <thread>

#include "run/os_file_system.h"
#include "run/program.h"
#include "support/memory_files.h"
#include "support/sample_image.h"

namespace datlift {
namespace {

namespace fs = std::filesystem;
using Contents = std::map<std::string, std::string>;

std::string system_file(int version) {
  const auto image = sample::system_dat(version);
  return std::string(image.begin(), image.end());
}

void put(const fs::path& p, const std::string& content) {
  std::ofstream(p, std::ios::binary) << content;
}

// A scratch directory that is the current one while the test runs.
class InScratchDir {
 public:
  InScratchDir() {
    do {
      path_ =
          fs::temp_directory_path() / ("datlift-os-test-" + std::to_string(std::random_device()()));
    } while (!fs::create_directory(path_));
    previous_ = fs::current_path();
    fs::current_path(path_);
  }
  ~InScratchDir() {
    fs::current_path(previous_);
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(path_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  // Every name with its content ("<dir>" for a directory).
  Contents contents() const {
    Contents all;
    for (const auto& e : fs::directory_iterator(path_)) {
      std::ifstream in(e.path(), std::ios::binary);
      all[e.path().filename().string()] =
          e.is_directory() ? "<dir>" : std::string(std::istreambuf_iterator<char>(in), {});
    }
    return all;
  }

 private:
  fs::path path_, previous_;
};

struct RunResult {
  int code;
  std::string out;
  std::string err;
};

RunResult run_here() {
  auto fs = std::make_unique<OsFileSystem>();
  auto out = std::make_unique<MemorySink>();
  auto err = std::make_unique<MemorySink>();
  auto space = std::make_unique<Workspace>();
  const char* argv[] = {"datlift"};
  const int code = run_program(1, argv, *fs, *out, *err, *space);
  return {code, std::string(out->text()), std::string(err->text())};
}

bool privileged() {
#ifdef _WIN32
  return false;
#else
  return ::geteuid() == 0;
#endif
}

TEST(OsFiles, ReplacesBothFilesInPlace) {
  InScratchDir dir;
  put("SYSTEM.DAT", system_file(210));
  put("MCFG.DAT", "old settings");
  const RunResult r = run_here();
  ASSERT_EQ(r.code, 0) << r.out << r.err;
  EXPECT_EQ(r.err, "");
  const Contents after = dir.contents();
  ASSERT_EQ(after.size(), 2u);  // nothing left behind
  EXPECT_EQ(after.at("SYSTEM.DAT").size(), 18620u);
  EXPECT_EQ(after.at("MCFG.DAT").size(), 460u);
}

// Refused before anything is written: both files as they were, one line on standard error.
TEST(OsFiles, FilesThatCannotBeReplaced) {
  const struct {
    const char* name;
    std::function<void()> setup;
    int code;
  } cases[] = {
      {"MCFG.DAT a directory", [] { fs::create_directory("MCFG.DAT"); }, 17},
      {"SYSTEM.DAT read-only",
       [] {
         put("MCFG.DAT", "old");
         fs::permissions("SYSTEM.DAT",
                         fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                         fs::perm_options::remove);
       },
       16},
  };
  for (const auto& c : cases) {
    if (c.code == 16 && privileged()) continue;  // a privileged user writes read-only files
    InScratchDir dir;
    put("SYSTEM.DAT", system_file(200));
    c.setup();
    const Contents before = dir.contents();
    const RunResult r = run_here();
    EXPECT_EQ(r.code, c.code) << c.name << "\n" << r.err;
    EXPECT_EQ(dir.contents(), before) << c.name;
    EXPECT_EQ(r.err.rfind("datlift: ", 0), 0u) << c.name << r.err;
  }
}

#ifndef _WIN32
// A relative link in a current directory deeper than any path the system takes (PATH_MAX): it
// is followed from where it stands, as the system follows it.
TEST(OsFiles, RelativeLinkInADeepDirectory) {
  InScratchDir dir;
  const std::string part(200, 'd');
  int depth = 0;
  for (; depth * (part.size() + 1) <= 4096 + 200; ++depth) {
    ASSERT_EQ(::mkdir(part.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(part.c_str()), 0);
  }
  ASSERT_EQ(::mkdir("sub", 0700), 0);
  put("sub/real.dat", system_file(210));
  ASSERT_EQ(::symlink("sub/real.dat", "SYSTEM.DAT"), 0);
  const RunResult r = run_here();
  EXPECT_EQ(r.code, 0) << r.out << r.err;
  std::ifstream converted("sub/real.dat", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(converted), {}).size(), 18620u);
  char link[32] = {};
  EXPECT_EQ(::readlink("SYSTEM.DAT", link, sizeof link - 1), 12);
  // Removed from below, by short names: the whole path is too long for the system.
  for (const char* name : {"SYSTEM.DAT", "MCFG.DAT", "sub/real.dat"}) ::unlink(name);
  ::rmdir("sub");
  for (; depth > 0; --depth) {
    ASSERT_EQ(::chdir(".."), 0);
    ASSERT_EQ(::rmdir(part.c_str()), 0);
  }
}
#endif

#ifdef _WIN32
HANDLE open_without_delete_sharing(const wchar_t* name) {
  return ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Another program holds a file open and does not let it be replaced.
TEST(OsFiles, FileHeldOpenByAnotherProgram) {
  for (const wchar_t* held : {L"SYSTEM.DAT", L"MCFG.DAT"}) {
    InScratchDir dir;
    put("SYSTEM.DAT", system_file(210));
    put("MCFG.DAT", "old settings");
    const Contents before = dir.contents();
    const HANDLE h = open_without_delete_sharing(held);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const RunResult r = run_here();
    ::CloseHandle(h);
    EXPECT_EQ(r.code, held[0] == L'S' ? 16 : 17) << r.err;
    EXPECT_EQ(dir.contents(), before);
  }
}

// Another run holds the lock: this one waits ten seconds, then refuses with code 19.
TEST(OsFiles, LockHeldByAnotherRun) {
  InScratchDir dir;
  put("SYSTEM.DAT", system_file(210));
  const Contents before = dir.contents();
  // The other run is another thread: a lock belongs to the thread that takes it.
  std::promise<void> locked, done;
  std::thread other([&] {
    const auto fs = std::make_unique<OsFileSystem>();
    FileHandle lock = kNoFile;
    FileId id;
    EXPECT_TRUE(fs->lock("SYSTEM.DAT", lock, id).ok());
    locked.set_value();
    done.get_future().wait();
    fs->unlock(lock);
  });
  locked.get_future().wait();
  const RunResult busy = run_here();
  done.set_value();
  other.join();
  EXPECT_EQ(busy.code, 19);
  EXPECT_EQ(busy.out, "DATLIFT V2.50\nFile >> SYSTEM.DAT << is in use!\n");
  EXPECT_EQ(dir.contents(), before);
  EXPECT_EQ(run_here().code, 0);
}
#endif

}  // namespace
}  // namespace datlift
