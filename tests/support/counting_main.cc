// SPDX-License-Identifier: MIT
// The program, linked dynamically, with every allocation from the C library counted between the
// start of the run and its end; the count is the last line on standard error. What the
// toolchain's start-up allocates before main (libstdc++'s emergency pool, for one) is not the
// run's.
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "files/os.h"
#include "run/program.h"

extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);
void* __libc_memalign(std::size_t alignment, std::size_t size);
}

namespace {

bool counting = false;
unsigned long allocations = 0;

void count() {
  if (counting) ++allocations;
}

}  // namespace

extern "C" {
void* malloc(std::size_t size) {
  count();
  return __libc_malloc(size);
}
void* calloc(std::size_t n, std::size_t size) {
  count();
  return __libc_calloc(n, size);
}
void* realloc(void* p, std::size_t size) {
  count();
  return __libc_realloc(p, size);
}
void* aligned_alloc(std::size_t alignment, std::size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
void* memalign(std::size_t alignment, std::size_t size) {
  count();
  return __libc_memalign(alignment, size);
}
int posix_memalign(void** p, std::size_t alignment, std::size_t size) {
  count();
  *p = __libc_memalign(alignment, size);
  return *p == nullptr ? 12 : 0;  // ENOMEM
}
}

int main(int argc, char** argv) {
  static constinit datlift::RunStorage space;
  // The counting itself is proven on one allocation of its own.
  counting = true;
  void* volatile probe = std::malloc(1);
  std::free(probe);
  if (allocations != 1) {
    std::fprintf(stderr, "allocations cannot be counted here\n");
    return 125;
  }
  allocations = 0;
  datlift::prepare_process();
  datlift::OsFileSystem fs;
  datlift::OsEnvironment env;
  datlift::StandardStream out(1);
  datlift::StandardStream err(2);
  const int code = datlift::run_program(argc, argv, fs, env, out, err, space);
  counting = false;
  std::fprintf(stderr, "allocations during the run: %lu\n", allocations);
  return code;
}
