// SPDX-License-Identifier: MIT
// What only the operating system's own primitives show, in whole runs in a scratch directory
// (Linux, or Windows under wine): another holder of the lock, a file that another program holds
// open, a link in a directory deeper than any path the system takes.
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

#include <array>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "support/disk_file_system.h"
#include "support/injected_run.h"

namespace datlift {
namespace {

using namespace test;

// A run in the current directory on the disk's primitives; the wait for the lock on the
// injector's clock.
InjectedRun run_here(DiskFileSystem& disk) {
  FaultInjector injector(disk, [] { return Contents(); });
  return run_injected(nullptr, injector);
}

// The lock on SYSTEM.DAT, held by another holder for as long as this object lives: on Windows a
// lock belongs to the thread that takes it, so another thread holds it there; elsewhere another
// open file does, in this thread.
class HeldLock {
 public:
  HeldLock() {
#ifdef _WIN32
    holder_ = std::thread([this] {
      take();
      locked_.set_value();
      done_.get_future().wait();
      fs_->unlock(lock_);
    });
    locked_.get_future().wait();
#else
    take();
#endif
  }
  ~HeldLock() {
#ifdef _WIN32
    done_.set_value();
    holder_.join();
#else
    fs_->unlock(lock_);
#endif
  }

 private:
  void take() {
    FileId id;
    DirHandle dir = kNoDirectory;
    Path path;
    FileFacts facts;
    ASSERT_TRUE(fs_->resolve("SYSTEM.DAT", dir, path, facts).ok());
    EXPECT_TRUE(fs_->lock(dir, "SYSTEM.DAT", lock_, id).ok());
    fs_->close_directory(dir);
  }
  std::unique_ptr<OsFileSystem> fs_ = std::make_unique<OsFileSystem>();
  FileHandle lock_ = kNoFile;
#ifdef _WIN32
  std::promise<void> locked_, done_;
  std::thread holder_;
#endif
};

// Another run holds the lock: this one waits ten seconds, on the injector's clock, then refuses
// with code 19.
TEST(OsFiles, LockHeldByAnotherRun) {
  DiskFileSystem disk;
  disk.put_file("SYSTEM.DAT", system_file(210));
  const Contents before = disk.contents();
  {
    HeldLock other;
    const InjectedRun busy = run_here(disk);
    EXPECT_EQ(busy.code, 19);
    EXPECT_EQ(busy.out, "DATLIFT V2.50\nFile >> SYSTEM.DAT << is in use!\n");
    EXPECT_EQ(busy.waited_ms, 10000);
    EXPECT_TRUE(disk.contents() == before);
  }
  EXPECT_EQ(run_here(disk).code, 0);
}

#ifdef _WIN32
HANDLE open_without_delete_sharing(const wchar_t* name) {
  return ::CreateFileW(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Another program holds a file open and does not let it be replaced.
TEST(OsFiles, FileHeldOpenByAnotherProgram) {
  for (const wchar_t* held : {L"SYSTEM.DAT", L"MCFG.DAT"}) {
    DiskFileSystem disk;
    disk.put_file("SYSTEM.DAT", system_file(210));
    disk.put_file("MCFG.DAT", "old settings");
    const Contents before = disk.contents();
    const HANDLE h = open_without_delete_sharing(held);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    const InjectedRun r = run_here(disk);
    ::CloseHandle(h);
    EXPECT_EQ(r.code, held[0] == L'S' ? 16 : 17) << r.err;
    EXPECT_TRUE(disk.contents() == before);
  }
}
#else
// A relative link in a current directory deeper than any path the system takes (PATH_MAX): it
// is followed from where it stands, as the system follows it.
TEST(OsFiles, RelativeLinkInADeepDirectory) {
  DiskFileSystem disk;
  const std::string part(200, 'd');
  int depth = 0;
  for (; depth * (part.size() + 1) <= 4096 + 200; ++depth) {
    ASSERT_EQ(::mkdir(part.c_str(), 0700), 0);
    ASSERT_EQ(::chdir(part.c_str()), 0);
  }
  ASSERT_EQ(::mkdir("sub", 0700), 0);
  std::ofstream("sub/real.dat", std::ios::binary) << system_file(210);
  ASSERT_EQ(::symlink("sub/real.dat", "SYSTEM.DAT"), 0);
  const InjectedRun r = run_here(disk);
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

// Chains of links, each through a directory and back: their texts together are longer than any
// path the system takes, each one short. As the system, the run follows 40 and no more.
TEST(OsFiles, LongChainsOfLinks) {
  for (const int links : {40, 41}) {
    DiskFileSystem disk;
    const std::string through(250, 'x');
    disk.put_directory(through);
    disk.put_file("real.dat", system_file(210));
    const auto link = [](int n) { return std::string(1, 'L').append(std::to_string(n)); };
    for (int n = 0; n < links; ++n)
      disk.put_link(n == 0 ? "SYSTEM.DAT" : link(n),
                    through + "/../" + (n + 1 == links ? "real.dat" : link(n + 1)));
    const InjectedRun r = run_here(disk);
    EXPECT_EQ(r.code, links == 40 ? 0 : 16) << links << ": " << r.out << r.err;
    EXPECT_EQ(disk.contents().at("real.dat").size(), links == 40 ? 18620u : 17652u);
  }
}

// A link through a directory and back is shown as the system takes it: where the old MCFG.DAT
// is kept, beside the file the link leads to.
TEST(OsFiles, PathsShownAsTheSystemTakesThem) {
  DiskFileSystem disk;
  disk.put_directory("keep");
  disk.put_directory("sub");
  disk.put_file("keep/machine.dat", system_file(210));
  disk.put_file("keep/mcfg.dat", "old");
  disk.put_link("SYSTEM.DAT", "sub/../keep/machine.dat");
  disk.put_link("MCFG.DAT", "keep/../sub/../keep/mcfg.dat");
  FaultInjector injector(disk, [] { return Contents(); });
  injector.fail_named = {"remove .MCFG.DAT"};
  const InjectedRun r = run_injected(nullptr, injector);
  EXPECT_EQ(r.code, 0);
  EXPECT_EQ(r.err,
            "datlift: keep/.MCFG.DAT.4711-0.old: remove: Input/output error\n"
            "datlift: keep/.MCFG.DAT.4711-0.old: holds the old keep/mcfg.dat: it may be deleted\n");
}
#endif

}  // namespace
}  // namespace datlift
