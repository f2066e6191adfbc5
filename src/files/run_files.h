// SPDX-License-Identifier: MIT
// What a run needs of its files, so that the run itself works on bytes in memory: the files of a
// file system (file_system_files.h) or a file set in memory (memory_files.h).
#pragma once

#include <span>

#include "common/bytes.h"
#include "common/input.h"

namespace datlift {

enum class ReplaceResult { ok, system_failed, mcfg_failed };

enum class LockResult {
  locked,  // held until the files are replaced (or the process ends)
  absent,  // SYSTEM.DAT is no file that could be locked
  busy,    // another run kept it for the whole wait
  failed,  // the lock could not be taken for another reason
};

class RunFiles {
 public:
  // Takes the exclusive lock on SYSTEM.DAT that serialises runs on one file.
  virtual LockResult lock_system() = 0;
  // Opens SYSTEM.DAT for reading; nullptr when it cannot be opened.
  virtual InputStream* open_input() = 0;
  virtual void close_input() = 0;
  // Puts the new SYSTEM.DAT (the concatenation of its parts), and MCFG.DAT when mcfg is not
  // empty, in place of the old files. On any failure both files stay as they were.
  virtual ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) = 0;

 protected:
  ~RunFiles() = default;
};

}  // namespace datlift
