// SPDX-License-Identifier: MIT
// Runs single upgrade steps on a working set, and states records field by field, for the tests of
// the steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "common/text_sink.h"
#include "support/sample_image.h"
#include "upgrade/chain.h"

namespace datlift::test {

// A group of `count` consecutive fields of `size` bytes, at `from` in the old record and `to` in
// the new one.
struct FieldGroup {
  std::size_t count, size, from, to;
};

// Fills an instance with a pattern that differs from byte to byte and from instance to instance
// and has no zero byte.
inline void plant(Bytes bytes, unsigned salt) {
  for (std::size_t i = 0; i < bytes.size(); ++i)
    bytes[i] = static_cast<std::uint8_t>(((i * 7 + salt * 31 + i / 251) % 255) + 1);
}

// The new record as the field list says it must be: every field at its new offset, zero elsewhere.
inline std::vector<std::uint8_t> expected_record(ConstBytes old_record, std::size_t new_size,
                                                 const std::vector<FieldGroup>& groups) {
  std::vector<std::uint8_t> out(new_size, 0);
  for (const FieldGroup& g : groups)
    for (std::size_t f = 0; f < g.count; ++f)
      for (std::size_t b = 0; b < g.size; ++b)
        out[g.to + f * g.size + b] = old_record[g.from + f * g.size + b];
  return out;
}

inline std::vector<std::uint8_t> record(ConstBytes block, std::size_t size, std::size_t index) {
  const ConstBytes r = block.subspan(index * size, size);
  return {r.begin(), r.end()};
}

inline std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a,
                                           const std::vector<std::uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

inline std::vector<std::uint8_t> slice(ConstBytes b, std::size_t offset, std::size_t size) {
  const ConstBytes s = b.subspan(offset, size);
  return {s.begin(), s.end()};
}

// Runs one step, as the chain runs it, on a working set and keeps what it printed.
struct StepRun {
  std::unique_ptr<WorkingSet> ws = std::make_unique<WorkingSet>();
  McfgBlock mcfg;
  NameOverrides names;
  std::array<char, 1024> room{};
  std::string run(void (*step)(StepContext&), Model file_model, Model selected) {
    TextSink sink(room);
    Console console(sink);
    StepContext ctx{*ws, console, file_model, selected, names};
    for (const ChainLink& link : kChain)
      if (link.step == step) run_link(link, ctx, mcfg);
    return std::string(sink.text());
  }
  void name(std::size_t i, const std::string& text) {
    std::copy(text.begin(), text.end(), names.slots[i].begin());
    names.count = std::max(names.count, i + 1);
  }
};

}  // namespace datlift::test
