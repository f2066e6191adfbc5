// SPDX-License-Identifier: MIT
// Preloaded into the dynamically linked program by a test: every gathering write takes at most
// 1000 bytes and every plain write at most 10, as a write may on a full pipe or a slow device, so
// that the program's handling of partial writes is exercised on real files and its output.
#include <dlfcn.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cstddef>

extern "C" ssize_t write(int fd, const void* data, std::size_t size) {
  using Write = ssize_t (*)(int, const void*, std::size_t);
  static const Write real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  return real(fd, data, size < 10 ? size : 10);
}

extern "C" ssize_t writev(int fd, const iovec* iov, int count) {
  using Writev = ssize_t (*)(int, const iovec*, int);
  static const Writev real = reinterpret_cast<Writev>(dlsym(RTLD_NEXT, "writev"));
  constexpr std::size_t kLimit = 1000;
  iovec cut[16];
  int n = 0;
  std::size_t total = 0;
  for (int i = 0; i < count && n < 16 && total < kLimit; ++i) {
    cut[n] = iov[i];
    if (total + cut[n].iov_len > kLimit) cut[n].iov_len = kLimit - total;
    total += cut[n].iov_len;
    ++n;
  }
  return real(fd, cut, n);
}
