// SPDX-License-Identifier: MIT
#include "run/run_sequence.h"

#include "common/messages.h"
#include "run/exit_status.h"
#include "run/explain.h"
#include "run/options.h"
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
  explicit CountingInput(InputStream& input) : input_(input) {}
  std::size_t read(Bytes dst) override {
    const std::size_t n = input_.read(dst);
    total += n;
    return n;
  }
  std::uint64_t total = 0;

 private:
  InputStream& input_;
};

// The end of the block of a bad-format status in a file of this version and header.
std::uint64_t block_end(int version, HeaderKind header, int status) {
  std::uint64_t end = header_form(header).size;
  for (const Block& block : find_layout(version)->blocks) {
    end += block.size;
    if (block.missing_status == status) break;
  }
  return end;
}

}  // namespace

int run_datlift(int argc, const char* const* argv, RunFiles& files, Console& console,
                Workspace& space, Console* why) {
  message::banner(console);
  Options options;
  if (!parse_options(argc, argv, options)) {
    message::usage(console);
    return kExitUsage;
  }
  const int target = version_number(options.target_value);

  // Runs on one file one after the other: from before the file is read until it is replaced.
  // Identifying only reads, and takes no lock.
  if (!options.identify_only) {
    switch (files.lock_system()) {
      case LockResult::locked:
        break;
      case LockResult::absent:
        message::system_not_found(console);
        return kExitNotFound;
      case LockResult::busy:
        message::in_use(console);
        return kExitInUse;
      case LockResult::failed:
        message::system_not_created(console);
        return kExitSystemNotCreated;
    }
  }

  InputStream* opened = files.open_input();
  if (opened == nullptr) {
    message::system_not_found(console);
    return kExitNotFound;
  }
  CountingInput counted(*opened);
  InputStream* input = &counted;
  // Every refusal while the input is open closes it before the run ends.
  auto close_and_exit = [&](int code) {
    files.close_input();
    return code;
  };
  auto bad_format = [&](int status) {
    message::bad_format(console, status);
    return close_and_exit(status);
  };

  const Identification id = identify_system_file(*input, space.ws, console);
  if (!id.identified) {
    if (why != nullptr) explain::bad_identification(*why);
    return bad_format(kExitBadIdentification);
  }
  if (options.identify_only) return close_and_exit(kExitOk);

  const char* version_token = id.tokens.version.c_str();
  const int file_version = version_number(version_value(version_token + 1));
  Model file_model;
  if (!find_model_code(id.tokens.model.c_str(), file_model)) {
    if (why != nullptr) explain::unknown_model(*why, id.tokens.model.c_str());
    return bad_format(kExitBadModel);
  }
  const Model selected = options.model_accepted ? options.selected_model : file_model;

  // Load phase.
  if (!chain_accepts_file(file_version, file_model)) {
    if (why != nullptr && chain_link(file_version) != nullptr) explain::plx_8_only(*why);
    if (why != nullptr && chain_link(file_version) == nullptr)
      explain::no_layout(*why, version_token);
    message::cannot_convert(console, model_code(file_model), version_token);
    return close_and_exit(chain_link(file_version) != nullptr ? kExitModelNotConvertible
                                                              : kExitUnknownFileVersion);
  }
  if (const int status = read_system_blocks(*input, file_version, space.ws); status != 0) {
    if (why != nullptr)
      explain::block_missing(*why, status, counted.total,
                             block_end(file_version, id.header, status), file_version);
    return bad_format(status);
  }
  if (file_version == kV250 && selected == file_model && options.names.count == 0) {
    if (why != nullptr) explain::newest(*why);
    message::newest_version(console);
    return close_and_exit(kExitNothingToDo);
  }
  files.close_input();

  // Compatibility rules: no downgrade, no change of model family.
  if (file_version > target || model_family(file_model) != model_family(selected)) {
    if (why != nullptr && file_version > target) explain::downgrade(*why, file_version, target);
    if (why != nullptr && file_version <= target)
      explain::other_family(*why, model_code(file_model), model_code(selected));
    message::no_update(console);
    return kExitNothingToDo;
  }

  // Upgrade loop: the body runs once, then again while the working version is below the target;
  // a pass made with V2.50 is the last.
  StepContext step{space.ws, console, file_model, selected, options.names};
  int working = file_version;
  do {
    const ChainLink* link = chain_link(working);
    if (link == nullptr) break;
    if (!link_converts(*link, file_model, selected)) {
      if (why != nullptr) explain::plx_8_only(*why);
      message::break_at_version(console, model_code(file_model), working * 0.01,
                                model_code(selected), target * 0.01);
      return kExitBreakAtVersion;
    }
    run_link(*link, step, space.mcfg);
    working = link->to;
  } while (working < target && working < kV250);

  if (working > target) {
    if (why != nullptr) explain::only_upward(*why, working, target);
    message::only_upward(console);
    return kExitOnlyUpward;
  }

  // Write phase.
  if (target > kV250) {
    if (why != nullptr) explain::unknown_target(*why, options.target_value);
    message::unknown_version(console, options.target_value);
    return kExitUnknownTargetVersion;
  }
  write_system_file(target, space.ws, space.image);
  const bool mcfg_due = mcfg_file_due(selected, space.mcfg);
  const ConstBytes mcfg = mcfg_due ? ConstBytes(space.mcfg.bytes) : ConstBytes();
  // An empty image would mean a version without a written layout: never replace a file by it.
  const ReplaceResult result = space.image.count == 0
                                   ? ReplaceResult::system_failed
                                   : files.replace_files(space.image.pieces(), mcfg);
  switch (result) {
    case ReplaceResult::system_failed:
      message::system_not_created(console);
      return kExitSystemNotCreated;
    case ReplaceResult::mcfg_failed:
      message::mcfg_not_created(console);
      return kExitMcfgNotCreated;
    case ReplaceResult::ok:
      break;
  }
  if (mcfg_due) message::mcfg_generated(console);
  return kExitOk;
}

}  // namespace datlift
