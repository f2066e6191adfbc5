// SPDX-License-Identifier: MIT
// A run in its phases: start (the options, the lock, the input), identify and load, the
// compatibility check, the upgrade, the write. Each phase ends the run with an Outcome, or lets
// it go on to the next.
#include "run/run_sequence.h"

#include "common/messages.h"
#include "run/explain.h"
#include "run/options.h"
#include "run/outcome.h"
#include "sysfile/identify.h"
#include "sysfile/layout.h"
#include "sysfile/version.h"
#include "upgrade/chain.h"

namespace datlift {
namespace {

// The input, with the bytes read from it counted: where a file ends inside a block, that is the
// size of the file.
class CountingInput final : public InputStream {
 public:
  std::size_t read(Bytes dst) override {
    const std::size_t n = input_->read(dst);
    total += n;
    return n;
  }
  InputStream* input_ = nullptr;
  std::uint64_t total = 0;
};

// What a run learns on its way, phase by phase.
struct Run {
  RunFiles& files;
  Console& out;
  Console& why;
  Workspace& space;
  Options options;
  int target = 0;  // the target version number
  CountingInput input;
  Identification id;
  int file_version = 0;
  Model file_model = Model::plx_8;
  Model selected = Model::plx_8;
};

Outcome start(Run& run, int argc, const char* const* argv) {
  if (!parse_options(argc, argv, run.options)) return Outcome::usage();
  run.target = version_number(run.options.target_value);
  // Runs on one file one after the other: from before the file is read until it is replaced.
  // Identifying only reads, and takes no lock.
  if (!run.options.identify_only) {
    switch (run.files.lock_system()) {
      case LockResult::locked:
        break;
      case LockResult::absent:
        return Outcome::not_found();
      case LockResult::busy:
        return Outcome::in_use();
      case LockResult::failed:
        return Outcome::system_not_created();
    }
  }
  run.input.input_ = run.files.open_input();
  return run.input.input_ != nullptr ? Outcome::go_on() : Outcome::not_found();
}

// Which model and version the file names, and whether the chain takes it in.
Outcome identify(Run& run) {
  run.id = identify_system_file(run.input, run.space.ws, run.out);
  if (!run.id.identified) {
    explain::bad_identification(run.why);
    return Outcome::bad_format(kExitBadIdentification);
  }
  if (run.options.identify_only) return Outcome::identified();
  const char* version_token = run.id.tokens.version.c_str();
  run.file_version = version_number(version_value(version_token + 1));
  if (!find_model_code(run.id.tokens.model.c_str(), run.file_model)) {
    explain::unknown_model(run.why, run.id.tokens.model.c_str());
    return Outcome::bad_format(kExitBadModel);
  }
  run.selected = run.options.model_accepted ? run.options.selected_model : run.file_model;
  if (chain_link(run.file_version) == nullptr) {
    explain::no_layout(run.why, version_token);
    return Outcome::unknown_file_version(model_code(run.file_model), version_token);
  }
  if (!chain_accepts_file(run.file_version, run.file_model)) {
    explain::plx_8_only(run.why);
    return Outcome::model_not_convertible(model_code(run.file_model), version_token);
  }
  return Outcome::go_on();
}

Outcome load(Run& run) {
  if (const int status = read_system_blocks(run.input, run.file_version, run.space.ws);
      status != 0) {
    const BlockPlace block = block_place(*find_layout(run.file_version), run.id.header, status);
    explain::block_missing(run.why, status, run.input.total, block.offset + block.size,
                           run.file_version);
    return Outcome::bad_format(status);
  }
  if (nothing_to_change(run.file_version, run.file_model, run.selected, run.options.names.count)) {
    explain::newest(run.why);
    return Outcome::newest();
  }
  return Outcome::go_on();
}

// No downgrade, no change of model family.
Outcome check_compatibility(Run& run) {
  if (run.file_version > run.target) {
    explain::downgrade(run.why, run.file_version, run.target);
    return Outcome::no_update();
  }
  if (model_family(run.file_model) != model_family(run.selected)) {
    explain::other_family(run.why, model_code(run.file_model), model_code(run.selected));
    return Outcome::no_update();
  }
  return Outcome::go_on();
}

Outcome upgrade(Run& run) {
  StepContext step{run.space.ws, run.out, run.file_model, run.selected, run.options.names};
  int working = run.file_version;
  do {
    const ChainLink* link = chain_link(working);
    if (link == nullptr) break;
    if (!link_converts(*link, run.file_model, run.selected)) {
      explain::plx_8_only(run.why);
      return Outcome::break_at(model_code(run.file_model), working, model_code(run.selected),
                               run.target);
    }
    run_link(*link, step, run.space.mcfg);
    working = link->to;
  } while (another_pass(working, run.target));
  if (working > run.target) {
    explain::only_upward(run.why, working, run.target);
    return Outcome::only_upward();
  }
  return Outcome::go_on();
}

Outcome write(Run& run) {
  if (run.target > kNewestVersion) {
    explain::unknown_target(run.why, run.options.target_value);
    return Outcome::unknown_target(run.options.target_value);
  }
  write_system_file(run.target, run.space.ws, run.space.image);
  const bool mcfg_due = mcfg_file_due(run.selected, run.space.mcfg);
  const ConstBytes mcfg = mcfg_due ? ConstBytes(run.space.mcfg.bytes) : ConstBytes();
  // An empty image would mean a version without a written layout: never replace a file by it.
  if (run.space.image.count == 0) return Outcome::system_not_created();
  switch (run.files.replace_files(run.space.image.pieces(), mcfg)) {
    case ReplaceResult::system_failed:
      return Outcome::system_not_created();
    case ReplaceResult::mcfg_failed:
      return Outcome::mcfg_not_created();
    case ReplaceResult::ok:
      break;
  }
  return Outcome::converted(mcfg_due);
}

}  // namespace

int run_datlift(int argc, const char* const* argv, RunFiles& files, Console& out, Console& why,
                Workspace& space) {
  message::banner(out);
  Run run{files, out, why, space, {}, 0, {}, {}, 0, Model::plx_8, Model::plx_8};
  Outcome outcome = start(run, argc, argv);
  for (Outcome (*phase)(Run&) : {identify, load}) {
    if (!outcome.ends()) outcome = phase(run);
  }
  // The input is read whole, or the run refused while it was open: closed either way.
  files.close_input();
  for (Outcome (*phase)(Run&) : {check_compatibility, upgrade, write}) {
    if (!outcome.ends()) outcome = phase(run);
  }
  outcome.print(out);
  return outcome.code();
}

}  // namespace datlift
