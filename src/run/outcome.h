// SPDX-License-Identifier: MIT
// How a run ends: its exit code and the message that goes with it, paired here and nowhere else.
// Each phase of a run returns one; the run ends at the first that ends it.
#pragma once

#include "common/console.h"
#include "common/exit_code.h"

namespace datlift {

class Outcome {
 public:
  // The phase passed: the run goes on.
  static Outcome go_on() { return Outcome(Kind::go_on, ExitCode::ok); }
  // "/NC": the read-in line is all there is to print.
  static Outcome identified() { return Outcome(Kind::quiet, ExitCode::ok); }
  // Both files in place; the generated line where MCFG.DAT was written.
  static Outcome converted(bool mcfg_written) {
    return Outcome(mcfg_written ? Kind::mcfg_generated : Kind::quiet, ExitCode::ok);
  }
  static Outcome usage() { return Outcome(Kind::usage, ExitCode::usage); }
  static Outcome not_found() { return Outcome(Kind::not_found, ExitCode::not_found); }
  static Outcome in_use() { return Outcome(Kind::in_use, ExitCode::in_use); }
  // The file ends inside a block, or no header identifies it: the status is the exit code.
  static Outcome bad_format(ExitCode status) { return Outcome(Kind::bad_format, status); }
  static Outcome unknown_file_version(const char* model, const char* version_token) {
    return Outcome(Kind::cannot_convert, ExitCode::unknown_file_version, model, version_token);
  }
  static Outcome model_not_convertible(const char* model, const char* version_token) {
    return Outcome(Kind::cannot_convert, ExitCode::model_not_convertible, model, version_token);
  }
  static Outcome newest() { return Outcome(Kind::newest, ExitCode::nothing_to_do); }
  static Outcome no_update() { return Outcome(Kind::no_update, ExitCode::nothing_to_do); }
  static Outcome break_at(const char* file_model, int working, const char* selected, int target) {
    Outcome o(Kind::break_at, ExitCode::break_at_version, file_model, selected);
    o.numbers_[0] = working;
    o.numbers_[1] = target;
    return o;
  }
  static Outcome only_upward() { return Outcome(Kind::only_upward, ExitCode::only_upward); }
  static Outcome unknown_target(double target_value) {
    Outcome o(Kind::unknown_target, ExitCode::unknown_target_version);
    o.value_ = target_value;
    return o;
  }
  static Outcome system_not_created() {
    return Outcome(Kind::system_not_created, ExitCode::system_not_created);
  }
  static Outcome mcfg_not_created() {
    return Outcome(Kind::mcfg_not_created, ExitCode::mcfg_not_created);
  }

  [[nodiscard]] bool ends() const { return kind_ != Kind::go_on; }
  [[nodiscard]] int code() const { return exit_code(code_); }
  // The run's last message, if it has one.
  void print(Console& c) const;

 private:
  enum class Kind {
    go_on,
    quiet,
    mcfg_generated,
    usage,
    not_found,
    in_use,
    bad_format,
    cannot_convert,
    newest,
    no_update,
    break_at,
    only_upward,
    unknown_target,
    system_not_created,
    mcfg_not_created,
  };
  Outcome(Kind kind, ExitCode code, const char* a = nullptr, const char* b = nullptr)
      : kind_(kind), code_(code), texts_{a, b} {}

  Kind kind_;
  ExitCode code_;
  const char* texts_[2];
  int numbers_[2] = {};
  double value_ = 0;
};

}  // namespace datlift
