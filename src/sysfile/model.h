// SPDX-License-Identifier: MIT
// The six controller models, in two families that a file never crosses between.
#pragma once

#include <array>
#include <cstring>

namespace datlift {

enum class Model { plx_4k, plx_8, plx_4200, plx_4300, plx_4500, plx_8200 };
enum class Family { a, b };

struct ModelInfo {
  Model model;
  const char* code;    // as named in a file's identification string
  const char* option;  // the command-line option that selects it
  Family family;
  bool gets_mcfg;  // as the selected model, gets an MCFG.DAT
};

// In the order in which the command line tests the model options.
constexpr std::array<ModelInfo, 6> kModels{{
    {Model::plx_4k, "PLX-4K", "/PLX-4K", Family::a, true},
    {Model::plx_8, "PLX-8", "/PLX-8", Family::b, true},
    {Model::plx_8200, "PLX-8200", "/PLX-8200", Family::b, false},
    {Model::plx_4200, "PLX-4200", "/PLX-4200", Family::a, false},
    {Model::plx_4300, "PLX-4300", "/PLX-4300", Family::a, false},
    {Model::plx_4500, "PLX-4500", "/PLX-4500", Family::a, false},
}};

constexpr const ModelInfo& model_info(Model model) {
  for (const ModelInfo& info : kModels)
    if (info.model == model) return info;
  return kModels[0];
}

constexpr const char* model_code(Model model) {
  return model_info(model).code;
}
constexpr Family model_family(Model model) {
  return model_info(model).family;
}

// A set of models: those whose files of a version are converted.
class ModelSet {
 public:
  static constexpr ModelSet all() { return ModelSet(~0u); }
  static constexpr ModelSet only(Model model) { return ModelSet(bit(model)); }
  constexpr bool has(Model model) const { return (bits_ & bit(model)) != 0; }
  constexpr bool is_all() const { return bits_ == ~0u; }

 private:
  constexpr explicit ModelSet(unsigned bits) : bits_(bits) {}
  static constexpr unsigned bit(Model model) { return 1u << static_cast<unsigned>(model); }
  unsigned bits_;
};

// The model a file's model token names: compared case-sensitively and as a whole text.
inline bool find_model_code(const char* token, Model& model) {
  for (const ModelInfo& info : kModels) {
    if (std::strcmp(token, info.code) == 0) {
      model = info.model;
      return true;
    }
  }
  return false;
}

}  // namespace datlift
