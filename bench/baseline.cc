// SPDX-License-Identifier: MIT
// The unavoidable work of a datlift run, and nothing else: read the input's blocks, write the new
// SYSTEM.DAT to a temporary file beside it, sync it, rename it into place; the same for the
// 460-byte MCFG.DAT; sync the directory once. No parsing, no conversion, no checks beyond the
// results of the calls.
//
//   baseline [OUTPUT_SIZE]   (default 18620, the size of a V2.50 file)
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace {

std::uint8_t input[18620];
std::uint8_t mcfg[460];

bool write_all(int fd, const std::uint8_t* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool replace(const char* temp, const char* name, const std::uint8_t* data, std::size_t size) {
  const int fd = ::open(temp, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  const bool ok = write_all(fd, data, size) && ::fsync(fd) == 0;
  return ::close(fd) == 0 && ok && ::rename(temp, name) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t out_size = argc > 1 ? static_cast<std::size_t>(::atol(argv[1])) : sizeof input;
  if (out_size > sizeof input) return 2;
  const int in = ::open("SYSTEM.DAT", O_RDONLY | O_CLOEXEC);
  if (in < 0) return 2;
  std::size_t got = 0;
  for (ssize_t n; got < sizeof input && (n = ::read(in, input + got, sizeof input - got)) > 0;)
    got += static_cast<std::size_t>(n);
  ::close(in);
  if (!replace(".SYSTEM.DAT.tmp", "SYSTEM.DAT", input, out_size)) return 16;
  if (!replace(".MCFG.DAT.tmp", "MCFG.DAT", mcfg, sizeof mcfg)) return 17;
  const int dir = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return 0;
}
