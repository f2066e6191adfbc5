// SPDX-License-Identifier: MIT
// Running the built datlift as a process in a scratch directory, for tests.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace datlift::test {

namespace fs = std::filesystem;
using Image = std::vector<std::uint8_t>;

struct ProcessResult {
  int code = -1;       // exit code, or -1 when a signal ended it
  int signal = 0;      // the signal that ended it
  std::string output;  // standard output
  std::string error;   // standard error
};

struct ProcessSetup {
  std::vector<std::string> prefix;  // a command to run datlift under (strace, setpriv, ...)
  std::string binary = DATLIFT_BINARY;
  rlim_t file_size_limit = RLIM_INFINITY;
  mode_t umask = 022;
  int pending_signal = 0;  // held by the caller, and pending when datlift starts
};

// A scratch directory, removed with everything in it at the end of the test.
class ScratchDir {
 public:
  ScratchDir() {
    const char* base = std::getenv("TMPDIR");
    std::string tmpl =
        std::string(base != nullptr && *base ? base : "/tmp") + "/datlift-test-XXXXXX";
    if (::mkdtemp(tmpl.data()) == nullptr) std::abort();
    path_ = tmpl;
  }
  ~ScratchDir() {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(path_, ec))
      fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(path_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& path() const { return path_; }
  fs::path operator/(const std::string& name) const { return path_ / name; }

 private:
  fs::path path_;
};

inline void write_file(const fs::path& p, const Image& content) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(content.data()),
            static_cast<std::streamsize>(content.size()));
}

inline Image read_file(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return Image(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every entry of a directory with its content ("<dir>" for directories, "-> target" for links).
inline std::map<std::string, std::string> snapshot(const fs::path& dir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_symlink()) {
      entries[name] = "-> " + fs::read_symlink(e.path()).string();
    } else if (e.is_directory()) {
      entries[name] = "<dir>";
    } else if (e.is_regular_file()) {
      const Image content = read_file(e.path());
      entries[name] = std::string(content.begin(), content.end());
    } else {
      entries[name] = "<special>";
    }
  }
  return entries;
}

inline ProcessResult run_process(const fs::path& dir, const std::vector<std::string>& args,
                                 const ProcessSetup& setup = {}) {
  std::vector<std::string> command = setup.prefix;
  command.push_back(setup.binary);
  command.insert(command.end(), args.begin(), args.end());
  int out[2];
  int err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) std::abort();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(err[1], STDERR_FILENO);
    if (::chdir(dir.c_str()) != 0) ::_exit(126);
    ::umask(setup.umask);
    const rlimit no_core{0, 0};  // a run ended by SIGQUIT leaves no core file among the files
    ::setrlimit(RLIMIT_CORE, &no_core);
    if (setup.file_size_limit != RLIM_INFINITY) {
      const rlimit limit{setup.file_size_limit, setup.file_size_limit};
      ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (setup.pending_signal != 0) {
      sigset_t held;
      sigemptyset(&held);
      sigaddset(&held, setup.pending_signal);
      sigprocmask(SIG_BLOCK, &held, nullptr);
      ::raise(setup.pending_signal);
    }
    std::vector<char*> argv;
    for (std::string& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ::close(err[1]);
  ProcessResult result;
  // Standard error carries a few lines at most: read after standard output, it cannot fill up.
  for (auto [fd, text] : {std::pair{out[0], &result.output}, std::pair{err[0], &result.error}}) {
    char buf[4096];
    for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
      text->append(buf, static_cast<std::size_t>(n));
    ::close(fd);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFEXITED(status)) result.code = WEXITSTATUS(status);
  if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
  return result;
}

// Running as root, permission tests drop to an unprivileged user, who then owns the directory.
inline std::vector<std::string> unprivileged(const ScratchDir& dir) {
  if (::geteuid() != 0) return {};
  for (const auto& e : fs::recursive_directory_iterator(dir.path()))
    if (::lchown(e.path().c_str(), 65534, 65534) != 0) std::abort();
  if (::chown(dir.path().c_str(), 65534, 65534) != 0) std::abort();
  return {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups", "--"};
}

}  // namespace datlift::test
