// SPDX-License-Identifier: MIT
#include "run/explain.h"

#include <cstring>

#include "sysfile/model.h"

namespace datlift::explain {
namespace {

// A list for a line: "A, B and C", made before the line is printed, since a line on a terminal
// goes out in one print (each print begins with the program's and the file's name).
class List {
 public:
  void add(const char* prefix, const char* item, bool last) {
    if (size_ > 0) append(last ? " and " : ", ");
    append(prefix);
    append(item);
  }
  const char* c_str() const { return text_; }

 private:
  void append(const char* s) {
    const std::size_t n = std::strlen(s);
    if (size_ + n >= sizeof text_) return;
    std::memcpy(text_ + size_, s, n + 1);
    size_ += n;
  }
  char text_[256] = {};
  std::size_t size_ = 0;
};

}  // namespace

void bad_identification(Console& c) {
  c.print("no header holds \"SYSFILE\", a model and a version that begins with V\n");
}

void unknown_model(Console& c, const char* model_token) {
  List models;
  for (std::size_t i = 0; i < kModels.size(); ++i)
    models.add("", kModels[i].code, i + 1 == kModels.size());
  c.print("model %s is none of the models %s\n", model_token, models.c_str());
}

void no_layout(Console& c, const char* version_token, Versions versions) {
  List known;
  for (std::size_t i = 0; i < versions.size(); ++i)
    known.add("V", versions[i].text, i + 1 == versions.size());
  c.print("version %s has no layout (only %s have)\n", version_token, known.c_str());
}

void models_only(Console& c, const Version& version) {
  List models;
  std::size_t count = 0, done = 0;
  for (const ModelInfo& m : kModels) count += version.takes.has(m.model);
  for (const ModelInfo& m : kModels)
    if (version.takes.has(m.model)) models.add("", m.code, ++done == count);
  c.print("V%s files are converted only for %s\n", version.text, models.c_str());
}

void block_missing(Console& c, BlockKind block, std::uint64_t held, std::uint64_t needed,
                   const Version& version) {
  c.print("ends inside its %s: %llu of the %llu bytes that V%s needs\n",
          block_kind_info(block).name, static_cast<unsigned long long>(held),
          static_cast<unsigned long long>(needed), version.text);
}

void newest(Console& c, Versions versions) {
  c.print("V%s already, with no other model and no axis names to set: nothing to change\n",
          datlift::newest(versions).text);
}

void downgrade(Console& c, int file_version, int target) {
  c.print("V%i.%02i cannot become V%i.%02i: no conversion goes down\n", file_version / 100,
          file_version % 100, target / 100, target % 100);
}

void other_family(Console& c, const char* file_model, const char* selected_model) {
  c.print("%s and %s are of different model families\n", file_model, selected_model);
}

void only_upward(Console& c, int working, int target) {
  c.print(
      "every step runs at least once: the file is V%i.%02i after it, above the target V%i.%02i\n",
      working / 100, working % 100, target / 100, target % 100);
}

void unknown_target(Console& c, double target_value, Versions versions) {
  c.print("no layout above V%s: the target %.2f has none\n", datlift::newest(versions).text,
          target_value);
}

}  // namespace datlift::explain
