// SPDX-License-Identifier: MIT
// The in-memory image of a system file in every version at once: the header in both forms, and
// one instance of each block of each version, the exact byte image of that block on disk. A
// version whose block is the version before's (in the table: shared) has no instance of its own.
// An upgrade step reads the instances of the older version and fills those of the newer one; an
// instance that two versions share passes from one to the other untouched.
#pragma once

#include <array>
#include <cstddef>

#include "common/bytes.h"
#include "sysfile/identify.h"
#include "sysfile/system_file.h"
#include "upgrade/versions.h"

namespace datlift {

// The bytes that the instances of a table's blocks take.
constexpr std::size_t instance_bytes(Versions versions) {
  std::size_t bytes = 0;
  for (const Version& v : versions)
    for (const VersionBlock& b : v.blocks)
      if (!b.shared) bytes += b.size;
  return bytes;
}

class WorkingSet {
 public:
  WorkingSet(const WorkingSet&) = delete;
  WorkingSet& operator=(const WorkingSet&) = delete;

  Headers headers;

  // The version's instance of a block; the version must be one of the table's.
  Bytes block(int version, BlockKind kind) {
    return blocks(version)[static_cast<std::size_t>(kind)];
  }
  ConstBytes block(int version, BlockKind kind) const {
    return const_cast<WorkingSet*>(this)->block(version, kind);
  }
  // The version's five blocks, in file order.
  Blocks blocks(int version) {
    for (std::size_t i = 0; i < versions_.size(); ++i)
      if (versions_[i].number == version) return blocks_[i];
    return {};
  }

  // The file of a version from the working set: its header, the tail from the block the table
  // names, its five blocks.
  void compose(const Version& version, SystemImage& image) const;

  // Every byte zero, as at the start of a run.
  void clear();

  Versions versions() const { return versions_; }

 protected:
  // The instances in `arena`, which holds instance_bytes(versions). Constant: a working set in
  // static storage is zero from the start, with nothing to run before main.
  constexpr WorkingSet(Versions versions, Bytes arena) : versions_(versions), arena_(arena) {
    std::size_t used = 0;
    for (std::size_t i = 0; i < versions.size() && i < kMaxVersions; ++i) {
      for (std::size_t k = 0; k < kBlockKinds; ++k) {
        const VersionBlock& b = versions[i].blocks[k];
        blocks_[i][k] = b.shared ? blocks_[i - 1][k] : arena.subspan(used, b.size);
        used += b.shared ? 0 : b.size;
      }
    }
  }

 private:
  Versions versions_;
  Bytes arena_;
  std::array<Blocks, kMaxVersions> blocks_{};  // per version of the table, in its order
};

// A working set with its storage, for a table whose instances take `Size` bytes.
template <std::size_t Size>
struct InstanceStorage {
  ByteArray<Size> bytes{};
};

template <std::size_t Size>
class WorkingSetOf final : private InstanceStorage<Size>, public WorkingSet {
 public:
  explicit constexpr WorkingSetOf(Versions versions)
      : InstanceStorage<Size>(), WorkingSet(versions, this->bytes) {}
};

}  // namespace datlift
