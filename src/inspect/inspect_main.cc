// SPDX-License-Identifier: MIT
// datlift-inspect: reports what system files and MCFG files hold and what datlift would do to
// them, as text or as JSON. Reads each file; writes, renames and locks nothing.
//
//   datlift-inspect [--json] [--run ARGS] FILE...
#include <cstdio>
#include <cstring>

#include "common/messages.h"
#include "inspect/inspect.h"
#include "mcfg/mcfg_block.h"
#include "run/os_file_system.h"

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

// The longest argument list of --run that is taken apart, and the room for its words.
constexpr std::size_t kMaxRunArgs = 64;
constexpr std::size_t kMaxRunText = 4096;

// Everything goes out through one buffer, so that reports of many files cost few writes.
class Writer {
 public:
  explicit Writer(OutputSink& sink) : sink_(sink) {}
  ~Writer() { flush(); }
  void put(const char* text, std::size_t size) {
    for (std::size_t i = 0; i < size; ++i) {
      if (used_ == sizeof buffer_) flush();
      buffer_[used_++] = text[i];
    }
  }
  void put(const char* text) { put(text, std::strlen(text)); }
  void put(char c) { put(&c, 1); }
  void number(std::uint64_t n) {
    char digits[24];
    std::size_t i = sizeof digits;
    do {
      digits[--i] = static_cast<char>('0' + n % 10);
      n /= 10;
    } while (n != 0);
    put(digits + i, sizeof digits - i);
  }
  void integer(std::int64_t n) {
    if (n < 0) put('-');
    number(n < 0 ? 0 - static_cast<std::uint64_t>(n) : static_cast<std::uint64_t>(n));
  }
  void real(double d) {
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.17g", d);
    put(text, static_cast<std::size_t>(n));
  }
  // A text's bytes as they are, but a byte no terminal shows as \xNN.
  void plain(ConstBytes bytes) {
    for (const std::uint8_t b : bytes) {
      if (b >= 0x20 && b < 0x7F) {
        put(static_cast<char>(b));
      } else {
        put("\\x");
        put("0123456789ABCDEF"[b >> 4]);
        put("0123456789ABCDEF"[b & 15]);
      }
    }
  }
  // A JSON string; each byte stands for the code point of the same number (Latin-1), so none is
  // lost or refused.
  void json(ConstBytes bytes) {
    put('"');
    for (const std::uint8_t b : bytes) {
      if (b == '"' || b == '\\') {
        put('\\');
        put(static_cast<char>(b));
      } else if (b < 0x20 || b == 0x7F) {
        put("\\u00");
        put("0123456789abcdef"[b >> 4]);
        put("0123456789abcdef"[b & 15]);
      } else if (b < 0x80) {
        put(static_cast<char>(b));
      } else {
        put(static_cast<char>(0xC0 | (b >> 6)));
        put(static_cast<char>(0x80 | (b & 0x3F)));
      }
    }
    put('"');
  }
  void json(const char* text) {
    json(ConstBytes(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)));
  }
  void json(const Text& t) {
    if (t.present)
      json(t.bytes);
    else
      put("null");
  }
  void flush() {
    if (used_ > 0) sink_.write(buffer_, used_);
    used_ = 0;
  }

 private:
  OutputSink& sink_;
  char buffer_[65536];
  std::size_t used_ = 0;
};

ConstBytes bytes_of(const char* text) {
  return ConstBytes(reinterpret_cast<const std::uint8_t*>(text), std::strlen(text));
}

const char* header_name(HeaderSeen h) {
  return h == HeaderSeen::short_form ? "short" : h == HeaderSeen::long_form ? "long" : nullptr;
}

const char* family_name(Model m) {
  return model_family(m) == Family::a ? "A" : "B";
}

const char* kind_name(McfgKind k) {
  return k == McfgKind::int32 ? "int32" : k == McfgKind::double64 ? "double" : "text";
}

// The options of --run, split at spaces, in fixed storage.
struct RunArgs {
  bool given = false;
  char text[kMaxRunText];
  const char* argv[kMaxRunArgs];
  int argc = 0;

  bool split(const char* args) {
    given = true;
    const std::size_t length = std::strlen(args);
    if (length >= sizeof text) return false;
    std::memcpy(text, args, length + 1);
    for (char* p = text; *p != 0;) {
      while (*p == ' ') *p++ = 0;
      if (*p == 0) break;
      if (argc == static_cast<int>(kMaxRunArgs)) return false;
      argv[argc++] = p;
      while (*p != 0 && *p != ' ') ++p;
    }
    return true;
  }
};

void text_field(Writer& w, const char* label, const Text& t) {
  w.put(label);
  if (t.present) {
    w.put(": ");
    w.plain(t.bytes);
  } else {
    w.put(": (absent)");
  }
  w.put('\n');
}

void write_run_text(Writer& w, const RunArgs& args, const RunReport& run) {
  w.put("run: datlift");
  for (int i = 0; i < args.argc; ++i) {
    w.put(' ');
    w.put(args.argv[i]);
  }
  w.put("\n  exit: ");
  w.number(static_cast<std::uint64_t>(run.exit));
  w.put("\n  output:\n");
  const char* p = run.output;
  const char* end = run.output + run.output_size;
  while (p < end) {
    const char* nl =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    const char* line_end = nl != nullptr ? nl : end;
    w.put("    ");
    w.plain(ConstBytes(reinterpret_cast<const std::uint8_t*>(p),
                       static_cast<std::size_t>(line_end - p)));
    w.put(nl != nullptr ? "\n" : " (no line end)\n");
    p = nl != nullptr ? nl + 1 : end;
  }
  w.put("  writes:");
  if (run.system_written == 0 && run.mcfg_written == 0) w.put(" nothing");
  if (run.system_written != 0) {
    w.put(" SYSTEM.DAT ");
    w.number(run.system_written);
    w.put(" bytes");
  }
  if (run.mcfg_written != 0) {
    w.put(run.system_written != 0 ? "," : "");
    w.put(" MCFG.DAT ");
    w.number(run.mcfg_written);
    w.put(" bytes");
  }
  w.put('\n');
}

void write_system_text(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run) {
  w.put("path: ");
  w.put(path);
  w.put("\nsize: ");
  w.number(r.size);
  w.put("\nheader: ");
  if (r.header == HeaderSeen::none) {
    w.put("none (no identification string found)\n");
  } else {
    w.put(header_name(r.header));
    w.put(", model token ");
    w.plain(bytes_of(r.tokens.model.c_str()));
    w.put(", version token ");
    w.plain(bytes_of(r.tokens.version.c_str()));
    w.put(", version number ");
    if (r.has_version_number)
      w.number(static_cast<std::uint64_t>(r.version_number));
    else
      w.put("(none: the token does not begin with V)");
    w.put('\n');
  }
  w.put("model: ");
  if (r.model_known) {
    w.put(model_code(r.model));
    w.put(" (family ");
    w.put(family_name(r.model));
    w.put(")\n");
  } else if (r.header == HeaderSeen::none) {
    w.put("(none: no header names one)\n");
  } else {
    w.put("(none: ");
    w.plain(bytes_of(r.tokens.model.c_str()));
    w.put(" is none of the six models)\n");
  }
  w.put("verdict: exit ");
  w.number(static_cast<std::uint64_t>(r.exit));
  w.put(", \"");
  w.plain(bytes_of(r.message));
  w.put("\"\nwhy: ");
  w.put(r.why);
  w.put("\ntrailing bytes: ");
  if (r.has_trailing)
    w.number(r.trailing_bytes);
  else
    w.put("(absent: the file ends before its last block)");
  w.put('\n');
  text_field(w, "header text 1", r.header_texts[0]);
  text_field(w, "header text 2", r.header_texts[1]);
  text_field(w, "header text 3", r.header_texts[2]);
  text_field(w, "general text", r.general_text);
  for (std::size_t k = 0; k < kAxisCount; ++k) {
    char label[16];
    std::snprintf(label, sizeof label, "axis %zu", k);
    text_field(w, label, r.axis_names[k]);
  }
  if (args.given) write_run_text(w, args, run);
}

void write_run_json(Writer& w, const RunArgs& args, const RunReport& run) {
  w.put(", \"run\": {\"argv\": [");
  for (int i = 0; i < args.argc; ++i) {
    if (i > 0) w.put(", ");
    w.json(args.argv[i]);
  }
  w.put("], \"exit\": ");
  w.number(static_cast<std::uint64_t>(run.exit));
  w.put(", \"stdout\": ");
  w.json(ConstBytes(reinterpret_cast<const std::uint8_t*>(run.output), run.output_size));
  w.put(", \"writes\": {");
  if (run.system_written != 0) {
    w.put("\"SYSTEM.DAT\": ");
    w.number(run.system_written);
  }
  if (run.mcfg_written != 0) {
    w.put(run.system_written != 0 ? ", " : "");
    w.put("\"MCFG.DAT\": ");
    w.number(run.mcfg_written);
  }
  w.put("}}");
}

void write_system_json(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run) {
  const bool tokens = r.header != HeaderSeen::none;
  w.put("{\"path\": ");
  w.json(path);
  w.put(", \"kind\": \"system\", \"size\": ");
  w.number(r.size);
  w.put(", \"header\": ");
  if (tokens) {
    w.put('"');
    w.put(header_name(r.header));
    w.put('"');
  } else {
    w.put("null");
  }
  w.put(", \"model_token\": ");
  tokens ? w.json(r.tokens.model.c_str()) : w.put("null");
  w.put(", \"version_token\": ");
  tokens ? w.json(r.tokens.version.c_str()) : w.put("null");
  w.put(", \"version_number\": ");
  r.has_version_number ? w.number(static_cast<std::uint64_t>(r.version_number)) : w.put("null");
  w.put(", \"model\": ");
  r.model_known ? w.json(model_code(r.model)) : w.put("null");
  w.put(", \"family\": ");
  r.model_known ? w.json(family_name(r.model)) : w.put("null");
  w.put(", \"verdict\": {\"exit\": ");
  w.number(static_cast<std::uint64_t>(r.exit));
  w.put(", \"message\": ");
  w.json(r.message);
  w.put(", \"why\": ");
  w.json(r.why);
  w.put("}, \"trailing_bytes\": ");
  r.has_trailing ? w.number(r.trailing_bytes) : w.put("null");
  w.put(", \"header_texts\": [");
  for (int i = 0; i < 3; ++i) {
    if (i > 0) w.put(", ");
    w.json(r.header_texts[i]);
  }
  w.put("], \"general_text\": ");
  w.json(r.general_text);
  w.put(", \"axis_names\": [");
  for (std::size_t k = 0; k < kAxisCount; ++k) {
    if (k > 0) w.put(", ");
    w.json(r.axis_names[k]);
  }
  w.put(']');
  if (args.given) write_run_json(w, args, run);
  w.put('}');
}

void write_mcfg(Writer& w, bool as_json, const char* path, ConstBytes bytes, const McfgReport& r) {
  if (as_json) {
    w.put("{\"path\": ");
    w.json(path);
    w.put(", \"kind\": \"mcfg\", \"size\": ");
    w.number(r.size);
    w.put(", \"is_default\": ");
    w.put(r.is_default ? "true" : "false");
    w.put(", \"fields\": ");
  } else {
    w.put("path: ");
    w.put(path);
    w.put("\nsize: ");
    w.number(r.size);
    w.put(r.whole ? "\n" : " (an MCFG block is 460 bytes: its fields cannot be read)\n");
    w.put("default image: ");
    w.put(r.is_default ? "yes\n" : "no\n");
  }
  if (!r.whole && as_json) w.put("null");
  if (as_json && r.whole) w.put('[');
  bool first = true;
  for (const McfgField& f : kMcfgFields) {
    if (!r.whole) break;
    if (as_json) {
      w.put(first ? "{\"name\": " : ", {\"name\": ");
      w.json(f.name);
      w.put(", \"offset\": ");
      w.number(f.offset);
      w.put(", \"type\": ");
      w.json(kind_name(f.kind));
      w.put(", \"value\": ");
    } else {
      w.put(f.name);
      w.put(" (");
      w.put(kind_name(f.kind));
      w.put(" at ");
      w.number(f.offset);
      w.put("): ");
    }
    first = false;
    switch (f.kind) {
      case McfgKind::int32:
        w.integer(mcfg_int(bytes, f));
        break;
      case McfgKind::double64:
        // JSON has no NaN or infinity: such a value goes as null there.
        if (const double d = mcfg_double(bytes, f); as_json && !(d - d == 0))
          w.put("null");
        else
          w.real(d);
        break;
      case McfgKind::text16:
        as_json ? w.json(mcfg_text(bytes, f)) : w.plain(mcfg_text(bytes, f));
        break;
    }
    w.put(as_json ? "}" : "\n");
  }
  if (as_json && r.whole) w.put(']');
  if (as_json) {
    w.put(", \"stray_bytes\": [");
    for (std::size_t i = 0; i < r.stray_count; ++i) {
      if (i > 0) w.put(", ");
      w.number(r.stray[i]);
    }
    w.put("]}");
  } else {
    w.put("stray bytes:");
    if (r.stray_count == 0) w.put(" none");
    for (std::size_t i = 0; i < r.stray_count; ++i) {
      w.put(' ');
      w.number(r.stray[i]);
    }
    w.put('\n');
  }
}

bool is_mcfg_name(const char* path) {
  const char* base = base_name(path);
  constexpr char kName[] = "MCFG.DAT";
  for (std::size_t i = 0; i < sizeof kName; ++i) {
    char c = base[i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kName[i]) return false;
  }
  return true;
}

// Everything a run of the program holds, in fixed storage.
struct State {
  Workspace space;
  SystemReport system;
  RunReport run;
  McfgReport mcfg;
  std::uint8_t head[kMaxInspected];
};

int inspect_all(int argc, const char* const* argv, FileSystem& fs, OutputSink& out, Console& errors,
                State& state) {
  bool as_json = false;
  RunArgs run_args;
  int first_file = argc;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      out.write(kUsage, sizeof kUsage - 1);
      return 0;
    }
    if (std::strcmp(argv[i], "--json") == 0) {
      as_json = true;
    } else if (std::strcmp(argv[i], "--run") == 0 && i + 1 < argc && !run_args.given) {
      if (!run_args.split(argv[++i])) {
        errors.print("datlift-inspect: --run: too many or too long options\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--") == 0) {
      first_file = i + 1;
      break;
    } else if (argv[i][0] == '-' && argv[i][1] != 0) {
      errors.print("datlift-inspect: unknown option %s\n%s", argv[i], kUsage);
      return 2;
    } else {
      first_file = i;
      break;
    }
  }
  if (first_file >= argc) {
    errors.print("%s", kUsage);
    return 2;
  }
  Writer w(out);
  int code = 0;
  if (as_json) w.put("[\n");
  for (int i = first_file; i < argc; ++i) {
    const char* path = argv[i];
    FileHandle file = kNoFile;
    FileFacts facts;
    std::size_t got = 0;
    FsStatus st = fs.open_read(path, file, facts);
    if (st.ok() && !facts.regular) st = {Fault::other, 0, "not a regular file"};
    if (st.ok() || file != kNoFile) {
      if (st.ok()) st = fs.read(file, Bytes(state.head), got);
      fs.close(file);
    }
    if (!st.ok()) {
      w.flush();
      errors.print("datlift-inspect: %s: %s\n", path,
                   st.code != 0 ? fs.describe(st.code) : st.step);
      code = 2;
      continue;
    }
    const ConstBytes head = ConstBytes(state.head).first(got);
    if (as_json && i > first_file) w.put(",\n");
    if (!as_json && i > first_file) w.put('\n');
    if (is_mcfg_name(path)) {
      inspect_mcfg(head, facts.size, state.mcfg);
      write_mcfg(w, as_json, path, head, state.mcfg);
      if (!state.mcfg.whole && code == 0) code = 1;
      continue;
    }
    inspect_system(head, facts.size, state.space, state.system);
    if (run_args.given) dry_run(head, run_args.argc, run_args.argv, state.space, state.run);
    if (as_json)
      write_system_json(w, path, state.system, run_args, state.run);
    else
      write_system_text(w, path, state.system, run_args, state.run);
    if (state.system.exit != 0 && state.system.exit != 13 && code == 0) code = 1;
  }
  if (as_json) w.put("\n]\n");
  return code;
}

}  // namespace
}  // namespace datlift::inspect

int main(int argc, char** argv) {
  // Fixed storage for the whole program, zero at start.
  static datlift::inspect::State state;
  datlift::prepare_process();
  datlift::OsFileSystem fs;
  datlift::StandardStream out(1);
  datlift::StandardStream err(2);
  datlift::Console errors(err);
  return datlift::inspect::inspect_all(argc, argv, fs, out, errors, state);
}
