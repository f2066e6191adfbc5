// The files of the current directory, and standard output. The only code that calls the
// operating system; everything else works on bytes in memory.
#pragma once

#include "common/console.h"
#include "run/run_files.h"

namespace datlift {

class FileLayer final : public RunFiles {
 public:
  InputStream* open_input() override;
  void close_input() override;
  // Stages each file in a temporary file beside it (created exclusively, written whole, synced,
  // closed), then renames the staged files into place at the very end: MCFG.DAT first, keeping
  // the old one at hand until SYSTEM.DAT has been replaced as well. A link is followed: its
  // target receives the new content. The replacement keeps the permission bits of the old file.
  ReplaceResult replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) override;

 private:
  class Input final : public InputStream {
   public:
    std::size_t read(Bytes dst) override;
    int fd = -1;
  };
  Input input_;
};

class StdoutSink final : public OutputSink {
 public:
  void write(const char* data, std::size_t size) override;
};

// Process set-up before a run: neither a closed standard output nor the file size limit may
// end a run half-way.
void prepare_process();

}  // namespace datlift
