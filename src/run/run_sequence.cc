// SPDX-License-Identifier: MIT
// A run in its phases: start (the options, the lock, the input), identify and load, the
// compatibility check, the upgrade, the write. Each phase ends the run with an Outcome, or lets
// it go on to the next.
#include "run/run_sequence.h"

#include "common/messages.h"
#include "files/file_system.h"
#include "run/explain.h"
#include "run/options.h"
#include "run/outcome.h"
#include "sysfile/identify.h"
#include "sysfile/version.h"
#include "upgrade/chain.h"

namespace datlift {
namespace {

static_assert(SystemImage::kMaxParts <= kMaxWriteParts, "the new SYSTEM.DAT goes out in one write");

// The input, with the bytes read from it counted: where a file ends inside a block, that is the
// size of the file.
class CountingInput final : public InputStream {
 public:
  std::size_t read(Bytes dst) override {
    const std::size_t n = source->read(dst);
    total += n;
    return n;
  }
  InputStream* source = nullptr;
  std::uint64_t total = 0;
};

// What a run learns on its way, phase by phase.
struct Run {
  RunFiles& files;
  Console& out;
  Console& why;
  RunMemory memory;
  Versions versions;
  Options options{};
  int target = 0;  // the target version number
  CountingInput input{};
  Identification id{};
  const Version* file_version = nullptr;
  int file_number = 0;  // the version number the file's token names, with a layout or not
  Model file_model = Model::plx_8;
  Model selected = Model::plx_8;
};

Outcome start(Run& run, int argc, const char* const* argv) {
  const double default_target = newest(run.versions).number / 100.0;
  if (!parse_options(argc, argv, default_target, run.options)) return Outcome::usage();
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
  run.input.source = run.files.open_input();
  return run.input.source != nullptr ? Outcome::go_on() : Outcome::not_found();
}

// Which model and version the file names, and whether the chain takes it in.
Outcome identify(Run& run) {
  run.id = identify_system_file(run.input, run.memory.ws.headers, run.out);
  if (!run.id.identified) {
    explain::bad_identification(run.why);
    return Outcome::bad_format(ExitCode::bad_identification);
  }
  if (run.options.identify_only) return Outcome::identified();
  const char* version_token = run.id.tokens.version.c_str();
  (void)token_version_number(version_token, run.file_number);
  if (!find_model_code(run.id.tokens.model.c_str(), run.file_model)) {
    explain::unknown_model(run.why, run.id.tokens.model.c_str());
    return Outcome::bad_format(ExitCode::bad_model);
  }
  run.selected = run.options.model_accepted ? run.options.selected_model : run.file_model;
  run.file_version = find_version(run.versions, run.file_number);
  if (run.file_version == nullptr) {
    explain::no_layout(run.why, version_token, run.versions);
    return Outcome::unknown_file_version(model_code(run.file_model), version_token);
  }
  if (!chain_accepts_file(run.versions, run.file_number, run.file_model)) {
    explain::models_only(run.why, *run.file_version);
    return Outcome::model_not_convertible(model_code(run.file_model), version_token);
  }
  return Outcome::go_on();
}

Outcome load(Run& run) {
  const ExitCode status =
      read_system_blocks(run.input, run.memory.ws.blocks(run.file_version->number));
  if (status != ExitCode::ok) {
    for (std::size_t k = 0; k < kBlockKinds; ++k) {
      if (kBlockKindInfo[k].missing != status) continue;
      const BlockKind kind = static_cast<BlockKind>(k);
      const BlockPlace block = block_place(*run.file_version, run.id.header, kind);
      explain::block_missing(run.why, kind, run.input.total, block.offset + block.size,
                             *run.file_version);
    }
    return Outcome::bad_format(status);
  }
  if (nothing_to_change(run.versions, run.file_number, run.file_model, run.selected,
                        run.options.names.count)) {
    explain::newest(run.why, run.versions);
    return Outcome::newest();
  }
  return Outcome::go_on();
}

// No downgrade, no change of model family.
Outcome check_compatibility(Run& run) {
  if (run.file_number > run.target) {
    explain::downgrade(run.why, run.file_number, run.target);
    return Outcome::no_update();
  }
  if (model_family(run.file_model) != model_family(run.selected)) {
    explain::other_family(run.why, model_code(run.file_model), model_code(run.selected));
    return Outcome::no_update();
  }
  return Outcome::go_on();
}

Outcome upgrade(Run& run) {
  int working = run.file_number;
  do {
    const ChainLink link = chain_link(run.versions, working);
    if (link.from == nullptr) break;
    if (!link_converts(link, run.file_model, run.selected)) {
      explain::models_only(run.why, *link.from);
      return Outcome::break_at(model_code(run.file_model), working, model_code(run.selected),
                               run.target);
    }
    StepContext step{run.memory.ws, run.out,           run.file_model,
                     run.selected,  run.options.names, *link.to};
    run_link(link, step, run.memory.mcfg);
    working = link.to->number;
  } while (another_pass(run.versions, working, run.target));
  if (working > run.target) {
    explain::only_upward(run.why, working, run.target);
    return Outcome::only_upward();
  }
  return Outcome::go_on();
}

// The image of the target version; none for a version that no step makes (the first), which a
// file is never written as.
bool compose(Run& run) {
  const Version* target = find_version(run.versions, run.target);
  if (target == nullptr || target->step == nullptr) return false;
  run.memory.ws.compose(*target, run.memory.image);
  return true;
}

Outcome write(Run& run) {
  if (run.target > newest(run.versions).number) {
    explain::unknown_target(run.why, run.options.target_value, run.versions);
    return Outcome::unknown_target(run.options.target_value);
  }
  // No image would mean a version without a written layout: never replace a file by it.
  if (!compose(run)) return Outcome::system_not_created();
  const bool mcfg_due = mcfg_file_due(run.selected, run.memory.mcfg);
  const ConstBytes mcfg = mcfg_due ? ConstBytes(run.memory.mcfg.bytes) : ConstBytes();
  switch (run.files.replace_files(run.memory.image.pieces(), mcfg)) {
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

int run_versions(int argc, const char* const* argv, RunFiles& files, Console& out, Console& why,
                 RunMemory memory) {
  const Versions versions = memory.ws.versions();
  message::banner(out, newest(versions).text);
  Run run{files, out, why, memory, versions};
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
