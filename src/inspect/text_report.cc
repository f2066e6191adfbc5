// SPDX-License-Identifier: MIT
#include "inspect/text_report.h"

#include <cstdio>
#include <cstring>

namespace datlift::inspect {
namespace {

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

void write_header(Writer& w, const SystemReport& r) {
  w.put("\nheader: ");
  if (!r.header_found) {
    w.put("none (no identification string found)\n");
    return;
  }
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

void write_model(Writer& w, const SystemReport& r) {
  w.put("model: ");
  if (r.model_known) {
    w.put(model_code(r.model));
    w.put(" (family ");
    w.put(family_name(r.model));
    w.put(")\n");
  } else if (!r.header_found) {
    w.put("(none: no header names one)\n");
  } else {
    w.put("(none: ");
    w.plain(bytes_of(r.tokens.model.c_str()));
    static_assert(kModels.size() == 6, "the text says how many models there are");
    w.put(" is none of the six models)\n");
  }
}

void write_verdict(Writer& w, const SystemReport& r) {
  w.put("verdict: exit ");
  w.number(static_cast<std::uint64_t>(r.exit));
  w.put(", \"");
  w.plain(bytes_of(r.message));
  w.put("\"\nwhy: ");
  w.plain(bytes_of(r.why));
  w.put("\ntrailing bytes: ");
  if (r.has_trailing)
    w.number(r.trailing_bytes);
  else
    w.put("(absent: the file ends before its last block)");
  w.put('\n');
}

void write_texts(Writer& w, const SystemReport& r) {
  text_field(w, "header text 1", r.header_texts[0]);
  text_field(w, "header text 2", r.header_texts[1]);
  text_field(w, "header text 3", r.header_texts[2]);
  text_field(w, "general text", r.general_text);
  for (std::size_t k = 0; k < kAxisCount; ++k) {
    char label[16];
    std::snprintf(label, sizeof label, "axis %zu", k);
    text_field(w, label, r.axis_names[k]);
  }
}

void write_output_lines(Writer& w, const RunReport& run) {
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
}

void write_run(Writer& w, const RunArgs& args, const RunReport& run) {
  w.put("run: datlift");
  for (int i = 0; i < args.argc; ++i) {
    w.put(' ');
    w.plain(bytes_of(args.argv[i]));
  }
  w.put("\n  exit: ");
  w.number(static_cast<std::uint64_t>(run.exit));
  w.put("\n  output:\n");
  write_output_lines(w, run);
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

}  // namespace

void write_system_text(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run) {
  w.put("path: ");
  w.plain(bytes_of(path));
  w.put("\nsize: ");
  w.number(r.size);
  write_header(w, r);
  write_model(w, r);
  write_verdict(w, r);
  write_texts(w, r);
  if (args.given) write_run(w, args, run);
}

void write_mcfg_text(Writer& w, const char* path, ConstBytes bytes, const McfgReport& r) {
  w.put("path: ");
  w.plain(bytes_of(path));
  w.put("\nsize: ");
  w.number(r.size);
  w.put(r.whole ? "\n" : " (an MCFG block is 460 bytes: its fields cannot be read)\n");
  w.put("default image: ");
  w.put(r.is_default ? "yes\n" : "no\n");
  for (const McfgField& f : kMcfgFields) {
    if (!r.whole) break;
    w.put(f.name);
    w.put(" (");
    w.put(kind_name(f.kind));
    w.put(" at ");
    w.number(f.offset);
    w.put("): ");
    switch (f.kind) {
      case McfgKind::int32:
        w.integer(mcfg_int(bytes, f));
        break;
      case McfgKind::double64:
        w.real(mcfg_double(bytes, f));
        break;
      case McfgKind::text16:
        w.plain(mcfg_text(bytes, f));
        break;
    }
    w.put('\n');
  }
  w.put("stray bytes:");
  if (r.stray_count == 0) w.put(" none");
  for (std::size_t i = 0; i < r.stray_count; ++i) {
    w.put(' ');
    w.number(r.stray[i]);
  }
  w.put('\n');
}

}  // namespace datlift::inspect
