// SPDX-License-Identifier: MIT
#include "run/explain.h"

#include "sysfile/layout.h"

namespace datlift::explain {
namespace {

const char* block_name(int status) {
  switch (status) {
    case kStatusAxisRecords:
      return "axis records";
    case kStatusAxisNames:
      return "axis name table";
    case kStatusGeneral:
      return "general record";
    case kStatusTableA:
      return "axis table A";
    default:
      return "axis table B";
  }
}

}  // namespace

void bad_identification(Console& c) {
  c.print("no header holds \"SYSFILE\", a model and a version that begins with V\n");
}

void unknown_model(Console& c, const char* model_token) {
  c.print("model %s is none of the six models\n", model_token);
}

void no_layout(Console& c, const char* version_token) {
  c.print("version %s has no layout (only V1.71, V2.00, V2.10 and V2.50 have)\n", version_token);
}

void plx_8_only(Console& c) {
  c.print("V1.71 files are converted only for PLX-8\n");
}

void block_missing(Console& c, int status, std::uint64_t held, std::uint64_t needed, int version) {
  c.print("ends inside its %s: %llu of the %llu bytes that V%i.%02i needs\n", block_name(status),
          static_cast<unsigned long long>(held), static_cast<unsigned long long>(needed),
          version / 100, version % 100);
}

void newest(Console& c) {
  c.print("V2.50 already, with no other model and no axis names to set: nothing to change\n");
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

void unknown_target(Console& c, double target_value) {
  c.print("no layout above V2.50: the target %.2f has none\n", target_value);
}

}  // namespace datlift::explain
