// SPDX-License-Identifier: MIT
// Times whole runs of datlift against the baseline program, alternating the two, each on a fresh
// SYSTEM.DAT in a scratch directory, and prints the medians and their ratio: wall time, peak
// resident memory, and (under callgrind, where valgrind is found) instructions.
//
//   process_bench DATLIFT BASELINE INPUT RUNS [DATLIFT_ARGS...]
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct Sample {
  double seconds;
  long max_rss_kb;
};

// Runs a command in dir; its output goes to /dev/null, its error output to err_file if given.
Sample run(const fs::path& dir, std::vector<std::string> command,
           const std::string& err_file = "") {
  timespec start{}, end{};
  clock_gettime(CLOCK_MONOTONIC, &start);
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(dir.c_str()) != 0) _exit(126);
    if (!freopen("/dev/null", "w", stdout)) _exit(126);
    if (!err_file.empty() && !freopen(err_file.c_str(), "w", stderr)) _exit(126);
    std::vector<char*> argv;
    for (auto& a : command) argv.push_back(a.data());
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  clock_gettime(CLOCK_MONOTONIC, &end);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed (status %d)\n", command[0].c_str(), status);
    std::exit(1);
  }
  return {static_cast<double>(end.tv_sec - start.tv_sec) + (end.tv_nsec - start.tv_nsec) * 1e-9,
          usage.ru_maxrss};
}

// A fresh SYSTEM.DAT: a hard link to the input. Both programs replace the file by renaming a new
// one over it, so the input itself is never changed.
void prepare(const fs::path& dir, const fs::path& input) {
  fs::remove(dir / "SYSTEM.DAT");
  fs::remove(dir / "MCFG.DAT");
  fs::create_hard_link(input, dir / "SYSTEM.DAT");
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

long instructions(const fs::path& dir, const fs::path& input, std::vector<std::string> command) {
  if (std::system("valgrind --version >/dev/null 2>&1") != 0) return -1;
  prepare(dir, input);
  const std::string log = (dir.parent_path() / "callgrind.err").string();
  command.insert(command.begin(),
                 {"valgrind", "--tool=callgrind", "--callgrind-out-file=/dev/null"});
  run(dir, command, log);
  std::ifstream in(log);
  std::stringstream text;
  text << in.rdbuf();
  std::smatch m;
  const std::string s = text.str();
  if (!std::regex_search(s, m, std::regex("Collected : ([0-9]+)"))) return -1;
  return std::stol(m[1]);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: process_bench DATLIFT BASELINE INPUT RUNS [ARGS...]\n");
    return 2;
  }
  const std::string datlift = fs::absolute(argv[1]), baseline = fs::absolute(argv[2]);
  const fs::path input = fs::absolute(argv[3]);
  const int runs = std::atoi(argv[4]);
  std::vector<std::string> datlift_cmd{datlift};
  for (int i = 5; i < argc; ++i) datlift_cmd.push_back(argv[i]);
  const std::vector<std::string> baseline_cmd{baseline};

  char tmpl[] = "/tmp/datlift-bench-XXXXXX";
  const fs::path root = mkdtemp(tmpl);
  const fs::path dir = root / "run";
  fs::create_directory(dir);

  std::vector<double> t_datlift, t_baseline;
  long rss_datlift = 0, rss_baseline = 0;
  for (int i = 0; i < runs; ++i) {
    for (int k = 0; k < 2; ++k) {
      const bool first = (i + k) % 2 == 0;  // alternate which goes first
      prepare(dir, input);
      const Sample s = run(dir, first ? datlift_cmd : baseline_cmd);
      (first ? t_datlift : t_baseline).push_back(s.seconds);
      long& rss = first ? rss_datlift : rss_baseline;
      rss = std::max(rss, s.max_rss_kb);
    }
  }
  const long i_datlift = instructions(dir, input, datlift_cmd);
  const long i_baseline = instructions(dir, input, baseline_cmd);
  fs::remove_all(root);

  const double md = median(t_datlift), mb = median(t_baseline);
  std::printf("  wall time, median of %d: datlift %.3f ms, baseline %.3f ms, ratio %.3f\n", runs,
              md * 1e3, mb * 1e3, md / mb);
  if (i_datlift > 0 && i_baseline > 0)
    std::printf("  instructions (callgrind): datlift %ld, baseline %ld, ratio %.3f\n", i_datlift,
                i_baseline, static_cast<double>(i_datlift) / static_cast<double>(i_baseline));
  std::printf("  peak resident memory: datlift %ld KiB, baseline %ld KiB\n", rss_datlift,
              rss_baseline);
  return 0;
}
