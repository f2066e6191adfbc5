// SPDX-License-Identifier: MIT
#include "run/outcome.h"

#include "common/messages.h"

namespace datlift {

void Outcome::print(Console& c) const {
  switch (kind_) {
    case Kind::go_on:
    case Kind::quiet:
      return;
    case Kind::mcfg_generated:
      return message::mcfg_generated(c);
    case Kind::usage:
      return message::usage(c);
    case Kind::not_found:
      return message::system_not_found(c);
    case Kind::in_use:
      return message::in_use(c);
    case Kind::bad_format:
      return message::bad_format(c, exit_code(code_));
    case Kind::cannot_convert:
      return message::cannot_convert(c, texts_[0], texts_[1]);
    case Kind::newest:
      return message::newest_version(c);
    case Kind::no_update:
      return message::no_update(c);
    case Kind::break_at:
      return message::break_at_version(c, texts_[0], numbers_[0] * 0.01, texts_[1],
                                       numbers_[1] * 0.01);
    case Kind::only_upward:
      return message::only_upward(c);
    case Kind::unknown_target:
      return message::unknown_version(c, value_);
    case Kind::system_not_created:
      return message::system_not_created(c);
    case Kind::mcfg_not_created:
      return message::mcfg_not_created(c);
  }
}

}  // namespace datlift
