// SPDX-License-Identifier: MIT
#include "inspect/json_report.h"

namespace datlift::inspect {
namespace {

void json_text(Writer& w, const Text& t) {
  if (t.present)
    w.json(t.bytes);
  else
    w.put("null");
}

void write_identity(Writer& w, const SystemReport& r) {
  const bool tokens = r.header_found;
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
}

void write_verdict(Writer& w, const SystemReport& r) {
  w.put(", \"verdict\": {\"exit\": ");
  w.number(static_cast<std::uint64_t>(r.exit));
  w.put(", \"message\": ");
  w.json(r.message);
  w.put(", \"why\": ");
  w.json(r.why);
  w.put("}, \"trailing_bytes\": ");
  r.has_trailing ? w.number(r.trailing_bytes) : w.put("null");
}

void write_texts(Writer& w, const SystemReport& r) {
  w.put(", \"header_texts\": ");
  {
    JsonArray texts(w);
    for (const Text& t : r.header_texts) {
      texts.item();
      json_text(w, t);
    }
  }
  w.put(", \"general_text\": ");
  json_text(w, r.general_text);
  w.put(", \"axis_names\": ");
  JsonArray names(w);
  for (const Text& t : r.axis_names) {
    names.item();
    json_text(w, t);
  }
}

void write_run(Writer& w, const RunArgs& args, const RunReport& run) {
  w.put(", \"run\": {\"argv\": ");
  {
    JsonArray argv(w);
    for (int i = 0; i < args.argc; ++i) {
      argv.item();
      w.json(args.argv[i]);
    }
  }
  w.put(", \"exit\": ");
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

void write_field(Writer& w, ConstBytes bytes, const McfgField& f) {
  w.put("{\"name\": ");
  w.json(f.name);
  w.put(", \"offset\": ");
  w.number(f.offset);
  w.put(", \"type\": ");
  w.json(kind_name(f.kind));
  w.put(", \"value\": ");
  switch (f.kind) {
    case McfgKind::int32:
      w.integer(mcfg_int(bytes, f));
      break;
    case McfgKind::double64:
      // JSON has no NaN or infinity: such a value goes as null.
      if (const double d = mcfg_double(bytes, f); !(d - d == 0))
        w.put("null");
      else
        w.real(d);
      break;
    case McfgKind::text16:
      w.json(mcfg_text(bytes, f));
      break;
  }
  w.put('}');
}

}  // namespace

void write_system_json(Writer& w, const char* path, const SystemReport& r, const RunArgs& args,
                       const RunReport& run) {
  w.put("{\"path\": ");
  w.json(path);
  w.put(", \"kind\": \"system\", \"size\": ");
  w.number(r.size);
  write_identity(w, r);
  write_verdict(w, r);
  write_texts(w, r);
  if (args.given) write_run(w, args, run);
  w.put('}');
}

void write_mcfg_json(Writer& w, const char* path, ConstBytes bytes, const McfgReport& r) {
  w.put("{\"path\": ");
  w.json(path);
  w.put(", \"kind\": \"mcfg\", \"size\": ");
  w.number(r.size);
  w.put(", \"is_default\": ");
  w.put(r.is_default ? "true" : "false");
  w.put(", \"fields\": ");
  if (r.whole) {
    JsonArray fields(w);
    for (const McfgField& f : kMcfgFields) {
      fields.item();
      write_field(w, bytes, f);
    }
  } else {
    w.put("null");
  }
  w.put(", \"stray_bytes\": ");
  {
    JsonArray stray(w);
    for (std::size_t i = 0; i < r.stray_count; ++i) {
      stray.item();
      w.number(r.stray[i]);
    }
  }
  w.put('}');
}

}  // namespace datlift::inspect
