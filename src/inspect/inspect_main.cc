// SPDX-License-Identifier: MIT
// datlift-inspect: reports what system files and MCFG files hold and what datlift would do to
// them, as text or as JSON. Reads each file; writes, renames and locks nothing.
//
//   datlift-inspect [--json] [--run ARGS] FILE...
#include <cstring>

#include "files/os.h"
#include "files/place.h"
#include "inspect/report.h"

namespace datlift::inspect {
namespace {

constexpr char kUsage[] =
    "usage: datlift-inspect [--json] [--run ARGS] FILE...\n"
    "Reports what each system file (or MCFG.DAT) holds and what datlift would do to it.\n"
    "  --json      one JSON array, an object per FILE\n"
    "  --run ARGS  also what datlift with these options would print, exit with and write,\n"
    "              ARGS being one argument, the options separated by spaces\n"
    "Exit code: 0 when datlift would convert every file or find it newest, 1 when it would\n"
    "refuse one, 2 for a usage error or a file that cannot be read.\n";

constexpr int kUsageError = 2;

// The usage as it is: its line ends are the program's own, not a name's.
void write_usage(OutputSink& sink) {
  sink.write(kUsage, sizeof kUsage - 1);
}

struct Arguments {
  Format format = Format::text;
  RunArgs run;
  int first_file = 0;
};

// Everything a run of the program holds, in fixed storage.
struct State {
  Reports reports;
  std::uint8_t head[kMaxInspected] = {};
};

// The options before the first file; -1 where the files follow, else the exit code.
int parse_arguments(int argc, const char* const* argv, Arguments& a, OutputSink& out,
                    OutputSink& err, Console& errors) {
  a.first_file = argc;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      write_usage(out);
      return 0;
    }
    if (std::strcmp(argv[i], "--json") == 0) {
      a.format = Format::json;
    } else if (std::strcmp(argv[i], "--run") == 0 && i + 1 < argc && !a.run.given) {
      if (!a.run.split(argv[++i])) {
        errors.print("datlift-inspect: --run: too many or too long options\n");
        return kUsageError;
      }
    } else if (std::strcmp(argv[i], "--") == 0) {
      a.first_file = i + 1;
      break;
    } else if (argv[i][0] == '-' && argv[i][1] != 0) {
      errors.print("datlift-inspect: unknown option %s\n", argv[i]);
      write_usage(err);
      return kUsageError;
    } else {
      a.first_file = i;
      break;
    }
  }
  if (a.first_file >= argc) {
    write_usage(err);
    return kUsageError;
  }
  return -1;
}

// The file's first bytes, as far as any layout reaches.
FsStatus read_head(FileSystem& fs, const char* path, State& state, FileFacts& facts,
                   ConstBytes& head) {
  FileHandle file = kNoFile;
  std::size_t got = 0;
  Place place(fs);
  FsStatus st = place.resolve(path);
  if (st.ok() && !place.facts().exists) st = {Fault::absent, 0, "No such file or directory"};
  if (st.ok()) st = fs.open_read(place.dir(), place.name(), file, facts);
  if (st.ok() && !facts.regular) st = {Fault::other, 0, "not a regular file"};
  if (st.ok() || file != kNoFile) {
    if (st.ok()) st = fs.read(file, Bytes(state.head), got);
    (void)fs.close(file);
  }
  head = ConstBytes(state.head).first(got);
  return st;
}

int inspect_all(int argc, const char* const* argv, FileSystem& fs, OutputSink& out, OutputSink& err,
                State& state) {
  // A name on standard error shows every byte a terminal would act on as \xHH.
  Console errors(err, Texts::escaped);
  Arguments a;
  if (const int code = parse_arguments(argc, argv, a, out, err, errors); code >= 0) return code;
  Writer w(out);
  int code = 0;
  ReportList reports(w, a.format);
  for (int i = a.first_file; i < argc; ++i) {
    FileFacts facts;
    ConstBytes head;
    if (const FsStatus st = read_head(fs, argv[i], state, facts, head); !st.ok()) {
      w.flush();  // the line on standard error comes after the reports before it
      errors.print("datlift-inspect: %s: %s\n", argv[i],
                   st.code != 0 ? fs.describe(st.code) : st.step);
      code = kUsageError;
      continue;
    }
    reports.item();
    if (!write_report(w, a.format, argv[i], head, facts.size, a.run, state.reports) && code == 0)
      code = 1;
  }
  return code;
}

}  // namespace
}  // namespace datlift::inspect

int main(int argc, char** argv) {
  // Fixed storage for the whole program, zero at start.
  static constinit datlift::inspect::State state;
  datlift::prepare_process();
  datlift::OsFileSystem fs;
  datlift::StandardStream out(1);
  datlift::StandardStream err(2);
  return datlift::inspect::inspect_all(argc, argv, fs, out, err, state);
}
