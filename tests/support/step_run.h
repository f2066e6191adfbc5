// SPDX-License-Identifier: MIT
// Runs single upgrade steps on a working set, and states records field by field, for the tests of
// the steps.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "common/text_sink.h"
#include "support/sample_image.h"
#include "upgrade/chain.h"
#include "upgrade/version_table.h"

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

inline std::vector<std::uint8_t> copy_of(ConstBytes b) {
  return {b.begin(), b.end()};
}

// A copy of a working set's bytes, to compare with after a step.
class Snapshot {
 public:
  explicit Snapshot(const WorkingSet& ws) : headers(ws.headers) {
    for (const Version& v : ws.versions())
      for (std::size_t k = 0; k < kBlockKinds; ++k)
        blocks_[{v.number, k}] = copy_of(ws.block(v.number, static_cast<BlockKind>(k)));
  }
  const Headers headers;
  const std::vector<std::uint8_t>& block(int version, BlockKind kind) const {
    return blocks_.at({version, static_cast<std::size_t>(kind)});
  }

 private:
  std::map<std::pair<int, std::size_t>, std::vector<std::uint8_t>> blocks_;
};

// Runs one step, as the chain runs it, on a working set and keeps what it printed.
struct StepRun {
  std::unique_ptr<ProductWorkingSet> ws = std::make_unique<ProductWorkingSet>(kVersions);
  McfgBlock mcfg;
  NameOverrides names;
  std::array<char, 1024> room{};
  std::string run(void (*step)(StepContext&), Model file_model, Model selected) {
    TextSink sink(room);
    Console console(sink);
    for (const Version& v : kVersions) {
      const ChainLink link = chain_link(kVersions, v.number);
      StepContext ctx{*ws, console, file_model, selected, names, *link.to};
      if (link.step == step) run_link(link, ctx, mcfg);
    }
    return std::string(sink.text());
  }
  void name(std::size_t i, const std::string& text) {
    std::copy(text.begin(), text.end(), names.slots[i].begin());
    names.count = std::max(names.count, i + 1);
  }
};

}  // namespace datlift::test
