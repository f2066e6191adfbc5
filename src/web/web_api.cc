// SPDX-License-Identifier: MIT
// The page's way into the program's core, compiled to WebAssembly: a file's bytes in,
// datlift-inspect's report and datlift's runs out, through fixed storage that the page reads in
// the module's memory. The page opens one Storage when it starts; no call allocates.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstring>

#include "common/exit_code.h"
#include "common/text_sink.h"
#include "inspect/report.h"
#include "inspect/run_args.h"
#include "mcfg/mcfg_block.h"
#include "sysfile/version.h"
#include "upgrade/version_table.h"

namespace datlift::web {

struct Storage {
  inspect::Reports reports;
  inspect::BlockMap map;
  std::uint8_t head[inspect::kMaxInspected];
  char args[inspect::RunArgs::kMaxText];
  char path[4096];
  const char* argv[inspect::RunArgs::kMaxArgs];
  char text[1 << 16];
  std::size_t text_size;
};

namespace {

// The map of the file's blocks as a JSON array of {name, offset, size, whole}.
void write_blocks(inspect::Writer& w, const inspect::BlockMap& map) {
  inspect::JsonArray blocks(w);
  for (std::size_t i = 0; i < map.count; ++i) {
    const inspect::BlockSpan& b = map.spans[i];
    blocks.item();
    w.put("{\"name\": ");
    w.json(b.name);
    w.put(", \"offset\": ");
    w.number(b.offset);
    w.put(", \"size\": ");
    w.number(b.size);
    w.put(b.whole ? ", \"whole\": true}" : ", \"whole\": false}");
  }
}

std::size_t finish(Storage& s, TextSink& sink, inspect::Writer& w) {
  w.flush();
  s.text_size = sink.text().size();
  return s.text_size;
}

// The versions a run converts to (those a step makes), as a JSON array of their texts.
void write_targets(inspect::Writer& w) {
  inspect::JsonArray targets(w);
  for (const Version& v : kVersions) {
    if (v.step == nullptr) continue;
    targets.item();
    w.json(v.text);
  }
}

// What each exit code says, as a JSON array of {code, words}.
void write_exits(inspect::Writer& w) {
  inspect::JsonArray exits(w);
  for (const ExitMeaning& e : kExitMeanings) {
    exits.item();
    w.put("{\"code\": ");
    w.number(static_cast<std::uint64_t>(exit_code(e.code)));
    w.put(", \"words\": ");
    w.json(e.words);
    w.put('}');
  }
}

// The models, with their families and whether they get an MCFG.DAT, as a JSON array.
void write_models(inspect::Writer& w) {
  inspect::JsonArray models(w);
  for (const ModelInfo& m : kModels) {
    models.item();
    w.put("{\"code\": ");
    w.json(m.code);
    w.put(", \"family\": ");
    w.json(inspect::family_name(m.model));
    w.put(m.gets_mcfg ? ", \"mcfg\": true}" : ", \"mcfg\": false}");
  }
}

}  // namespace
}  // namespace datlift::web

using datlift::web::Storage;

extern "C" {

EMSCRIPTEN_KEEPALIVE Storage* web_open() {
  return new Storage();
}

// Room for a file's first bytes, as far as any layout reaches.
EMSCRIPTEN_KEEPALIVE std::uint8_t* web_head(Storage* s) {
  return s->head;
}
EMSCRIPTEN_KEEPALIVE std::size_t web_head_room() {
  return datlift::inspect::kMaxInspected;
}
// Room for the arguments of a run, each ended by a NUL.
EMSCRIPTEN_KEEPALIVE char* web_args(Storage* s) {
  return s->args;
}
EMSCRIPTEN_KEEPALIVE std::size_t web_args_room() {
  return datlift::inspect::RunArgs::kMaxText;
}
// Room for a file's name, in UTF-8, ended by a NUL.
EMSCRIPTEN_KEEPALIVE char* web_path(Storage* s) {
  return s->path;
}
EMSCRIPTEN_KEEPALIVE std::size_t web_path_room() {
  return sizeof Storage::path;
}
EMSCRIPTEN_KEEPALIVE const char* web_text(Storage* s) {
  return s->text;
}

// datlift-inspect's JSON object of the file (`head_size` bytes in web_head, `size` the whole
// file's, `path` its name in UTF-8): its length, the text at web_text.
EMSCRIPTEN_KEEPALIVE std::size_t web_inspect(Storage* s, std::size_t head_size, double size,
                                             const char* path) {
  using namespace datlift;
  TextSink sink(s->text);
  inspect::Writer w(sink);
  const inspect::RunArgs none{};
  (void)inspect::write_report(w, inspect::Format::json, path, ConstBytes(s->head, head_size),
                              static_cast<std::uint64_t>(size), none, s->reports);
  return datlift::web::finish(*s, sink, w);
}

// The map of a system file's blocks, as a JSON array.
EMSCRIPTEN_KEEPALIVE std::size_t web_blocks(Storage* s, std::size_t head_size, double size) {
  using namespace datlift;
  TextSink sink(s->text);
  inspect::Writer w(sink);
  inspect::map_blocks(ConstBytes(s->head, head_size), static_cast<std::uint64_t>(size),
                      s->reports.space, s->map);
  datlift::web::write_blocks(w, s->map);
  return datlift::web::finish(*s, sink, w);
}

// datlift with `argc` arguments (in web_args) on the file in web_head; `present`: whether there is
// a SYSTEM.DAT at all. The outcome as a JSON object {exit, stdout, why, system, mcfg} (sizes of the
// files written) at web_text; the files at web_system and web_mcfg.
EMSCRIPTEN_KEEPALIVE std::size_t web_run(Storage* s, std::size_t head_size, int argc, int present) {
  using namespace datlift;
  const char* p = s->args;
  for (int i = 0; i < argc && i < static_cast<int>(inspect::RunArgs::kMaxArgs); ++i) {
    s->argv[i] = p;
    p += std::strlen(p) + 1;
  }
  inspect::RunReport& run = s->reports.run;
  inspect::dry_run(ConstBytes(s->head, head_size), argc, s->argv, present != 0, s->reports.space,
                   run);
  TextSink sink(s->text);
  inspect::Writer w(sink);
  w.put("{\"exit\": ");
  w.number(static_cast<std::uint64_t>(run.exit));
  w.put(", \"stdout\": ");
  w.json(ConstBytes(reinterpret_cast<const std::uint8_t*>(run.output), run.output_size));
  w.put(", \"why\": ");
  w.json(run.why);
  w.put(", \"system\": ");
  w.number(run.system_written);
  w.put(", \"mcfg\": ");
  w.number(run.mcfg_written);
  w.put('}');
  return datlift::web::finish(*s, sink, w);
}

// What the core knows of versions, exit codes and models, as a JSON object: the newest version,
// the versions a run converts to, what each exit code says, and the models.
EMSCRIPTEN_KEEPALIVE std::size_t web_catalogue(Storage* s) {
  using namespace datlift;
  TextSink sink(s->text);
  inspect::Writer w(sink);
  w.put("{\"newest\": ");
  w.json(newest(kVersions).text);
  w.put(", \"targets\": ");
  web::write_targets(w);
  w.put(", \"exits\": ");
  web::write_exits(w);
  w.put(", \"models\": ");
  web::write_models(w);
  w.put('}');
  return datlift::web::finish(*s, sink, w);
}

// The version number that datlift reads from a "/V" option's text (in web_args, ended by a NUL),
// as the option itself does.
EMSCRIPTEN_KEEPALIVE int web_read_version(Storage* s) {
  return datlift::version_number(datlift::version_value(s->args));
}

// The MCFG block that datlift writes, in web_head; its size.
EMSCRIPTEN_KEEPALIVE std::size_t web_default_mcfg(Storage* s) {
  const datlift::ByteArray<datlift::kMcfgSize>& image = datlift::mcfg_default_image();
  std::memcpy(s->head, image.data(), image.size());
  return image.size();
}

EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_system(Storage* s) {
  return s->reports.run.system.data();
}
EMSCRIPTEN_KEEPALIVE const std::uint8_t* web_mcfg(Storage* s) {
  return s->reports.run.mcfg.data();
}

}  // extern "C"
