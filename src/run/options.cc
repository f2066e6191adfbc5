// SPDX-License-Identifier: MIT
#include "run/options.h"

#include <cstddef>
#include <cstring>

#include "common/text.h"
#include "sysfile/version.h"

namespace datlift {
namespace {

bool accept(const char* arg, Options& options) {
  if (starts_with_nocase(arg, "/V")) {
    options.target_value = version_value(arg + 2);
    return true;
  }
  if (!options.model_accepted) {
    for (const ModelInfo& info : kModels) {
      if (equals_nocase(arg, info.option)) {
        options.selected_model = info.model;
        options.model_accepted = true;
        return true;
      }
    }
  }
  NameOverrides& names = options.names;
  if (starts_with_nocase(arg, "/A") && arg[2] != 0 && names.count < kAxisCount) {
    auto& slot = names.slots[names.count++];
    for (std::size_t i = 0; i < kMaxOverrideName && arg[2 + i] != 0; ++i) slot[i] = arg[2 + i];
    return true;
  }
  if (equals_nocase(arg, "/NC")) {
    options.identify_only = true;
    return true;
  }
  return false;
}

}  // namespace

bool parse_options(int argc, const char* const* argv, double default_target, Options& options) {
  options.target_value = default_target;
  for (int i = 0; i < argc; ++i)
    if (argv == nullptr || argv[i] == nullptr || !accept(argv[i], options)) return false;
  return true;
}

}  // namespace datlift
