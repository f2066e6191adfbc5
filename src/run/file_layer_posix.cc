#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/file_layer.h"
#include "sysfile/system_file.h"

namespace datlift {
namespace {

constexpr char kSystemFile[] = "SYSTEM.DAT";
constexpr char kMcfgFile[] = "MCFG.DAT";

bool write_all(int fd, const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// A file on its way into place: the name it replaces (a link resolved to its target) and the
// temporary file beside it that holds the new content.
struct Staged {
  char target[PATH_MAX];
  char temp[PATH_MAX];
  bool existed;  // the target was there before the run
  bool has_temp;

  void reset() {
    target[0] = temp[0] = 0;
    existed = has_temp = false;
  }
  void discard() {
    if (has_temp) ::unlink(temp);
    has_temp = false;
  }
};

bool copy_path(char (&dst)[PATH_MAX], const char* src) {
  const std::size_t length = std::strlen(src);
  if (length >= PATH_MAX) return false;
  std::memcpy(dst, src, length + 1);
  return true;
}

// The directory part of a path ("." when it has none) and its last component.
void split_path(const char* path, char (&dir)[PATH_MAX], const char*& base) {
  const char* slash = std::strrchr(path, '/');
  if (slash == nullptr) {
    copy_path(dir, ".");
    base = path;
    return;
  }
  const std::size_t length = slash == path ? 1 : static_cast<std::size_t>(slash - path);
  std::memcpy(dir, path, length);
  dir[length] = 0;
  base = slash + 1;
}

// Finds what `name` refers to and checks, without changing it, that it may be replaced.
bool resolve_target(const char* name, Staged& s, struct stat& old) {
  struct stat link;
  if (::lstat(name, &link) != 0) {
    if (errno != ENOENT) return false;
    s.existed = false;
    return copy_path(s.target, name);
  }
  if (S_ISLNK(link.st_mode)) {
    if (::realpath(name, s.target) == nullptr) return false;  // dangling or looping link
  } else if (!copy_path(s.target, name)) {
    return false;
  }
  if (::stat(s.target, &old) != 0 || !S_ISREG(old.st_mode)) return false;
  const int probe = ::open(s.target, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (probe < 0) return false;
  if (::close(probe) != 0) return false;
  s.existed = true;
  return true;
}

// Appends a text, or a number in decimal, to a path; false when the path would not fit.
bool append(char (&path)[PATH_MAX], std::size_t& length, const char* text) {
  const std::size_t n = std::strlen(text);
  if (length + n >= PATH_MAX) return false;
  std::memcpy(path + length, text, n + 1);
  length += n;
  return true;
}

bool append(char (&path)[PATH_MAX], std::size_t& length, unsigned long number) {
  char digits[24];
  std::size_t i = sizeof digits;
  digits[--i] = 0;
  do {
    digits[--i] = static_cast<char>('0' + number % 10);
    number /= 10;
  } while (number != 0);
  return append(path, length, digits + i);
}

// Creates the temporary file beside the target, named after it and this process:
// "<dir>/.<name>.<pid>-<n>.tmp". Never opens a file that exists already.
int create_temp(Staged& s) {
  char dir[PATH_MAX];
  const char* base = nullptr;
  split_path(s.target, dir, base);
  const unsigned long pid = static_cast<unsigned long>(::getpid());
  for (unsigned long attempt = 0; attempt < 100; ++attempt) {
    std::size_t length = 0;
    if (!append(s.temp, length, dir) || !append(s.temp, length, "/.") ||
        !append(s.temp, length, base) || !append(s.temp, length, ".") ||
        !append(s.temp, length, pid) || !append(s.temp, length, "-") ||
        !append(s.temp, length, attempt) || !append(s.temp, length, ".tmp"))
      return -1;
    const int fd = ::open(s.temp, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd >= 0) {
      s.has_temp = true;
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Writes the parts one after the other with gathering writes, until all of them are out.
bool write_parts(int fd, std::span<const ConstBytes> parts) {
  iovec iov[SystemImage::kMaxParts];
  std::size_t count = 0;
  for (const ConstBytes part : parts) {
    if (count == SystemImage::kMaxParts) return false;
    if (!part.empty()) iov[count++] = {const_cast<std::uint8_t*>(part.data()), part.size()};
  }
  for (std::size_t first = 0; first < count;) {
    const ssize_t n = ::writev(fd, iov + first, static_cast<int>(count - first));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    // Skip what went out, part by part.
    for (std::size_t done = static_cast<std::size_t>(n); done > 0 && first < count;) {
      const std::size_t step = done < iov[first].iov_len ? done : iov[first].iov_len;
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + step;
      iov[first].iov_len -= step;
      done -= step;
      if (iov[first].iov_len == 0) ++first;
    }
  }
  return true;
}

bool stage(const char* name, std::span<const ConstBytes> content, Staged& s) {
  struct stat old {};
  if (!resolve_target(name, s, old)) return false;
  const int fd = create_temp(s);
  if (fd < 0) return false;
  bool ok = true;
  if (s.existed) {
    ok = ::fchmod(fd, old.st_mode & 07777) == 0;
    // Keeping the owner is possible only for a privileged user; the permission bits are kept
    // either way.
    if (ok && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
      (void)!::fchown(fd, old.st_uid, old.st_gid);
  }
  ok = ok && write_parts(fd, content) && ::fsync(fd) == 0;
  if (::close(fd) != 0) ok = false;
  if (!ok) s.discard();
  return ok;
}

void sync_directory_of(const char* path) {
  char dir[PATH_MAX];
  const char* base = nullptr;
  split_path(path, dir, base);
  const int fd = ::open(dir, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  // The rename has taken place: a directory that cannot be synced changes nothing about that.
  (void)::fsync(fd);
  ::close(fd);
}

bool same_directory(const char* a, const char* b) {
  char dir_a[PATH_MAX];
  char dir_b[PATH_MAX];
  const char* base = nullptr;
  split_path(a, dir_a, base);
  split_path(b, dir_b, base);
  return std::strcmp(dir_a, dir_b) == 0;
}

// Swaps two names atomically, where the file system can.
bool exchange(const char* a, const char* b) {
#ifdef RENAME_EXCHANGE
  return ::renameat2(AT_FDCWD, a, AT_FDCWD, b, RENAME_EXCHANGE) == 0;
#else
  (void)a;
  (void)b;
  errno = ENOSYS;
  return false;
#endif
}

bool exchange_unsupported() {
  return errno == EINVAL || errno == ENOSYS || errno == ENOTSUP;
}

}  // namespace

InputStream* FileLayer::open_input() {
  const int fd = ::open(kSystemFile, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  // A directory, a pipe or a device named SYSTEM.DAT is no system file.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return nullptr;
  }
  input_.fd = fd;
  return &input_;
}

void FileLayer::close_input() {
  if (input_.fd >= 0) ::close(input_.fd);
  input_.fd = -1;
}

std::size_t FileLayer::Input::read(Bytes dst) {
  std::size_t done = 0;
  while (done < dst.size()) {
    const ssize_t n = ::read(fd, dst.data() + done, dst.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done;
}

ReplaceResult FileLayer::replace_files(std::span<const ConstBytes> system, ConstBytes mcfg) {
  static Staged sys;
  static Staged cfg;
  sys.reset();
  cfg.reset();
  if (!stage(kSystemFile, system, sys)) return ReplaceResult::system_failed;
  if (mcfg.empty()) {
    if (::rename(sys.temp, sys.target) != 0) {
      sys.discard();
      return ReplaceResult::system_failed;
    }
    sync_directory_of(sys.target);
    return ReplaceResult::ok;
  }

  if (!stage(kMcfgFile, std::span<const ConstBytes>(&mcfg, 1), cfg)) {
    sys.discard();
    return ReplaceResult::mcfg_failed;
  }
  // MCFG.DAT goes into place first. An old one is swapped with the staged file, so that it stays
  // whole under the temporary name until SYSTEM.DAT is in place too, and can be put back if that
  // fails. Where the file system cannot swap, it is replaced outright.
  bool swapped = false;
  bool placed = false;
  if (cfg.existed) {
    swapped = exchange(cfg.temp, cfg.target);
    placed = swapped || (exchange_unsupported() && ::rename(cfg.temp, cfg.target) == 0);
  } else {
    placed = ::rename(cfg.temp, cfg.target) == 0;
  }
  if (!placed) {
    cfg.discard();
    sys.discard();
    return ReplaceResult::mcfg_failed;
  }
  if (!swapped) cfg.has_temp = false;

  if (::rename(sys.temp, sys.target) != 0) {
    if (swapped) {
      exchange(cfg.temp, cfg.target);
    } else if (!cfg.existed) {
      ::unlink(cfg.target);
    }
    cfg.discard();
    sys.discard();
    return ReplaceResult::system_failed;
  }
  cfg.discard();  // the old MCFG.DAT, when it was swapped out
  sync_directory_of(sys.target);
  if (!same_directory(cfg.target, sys.target)) sync_directory_of(cfg.target);
  return ReplaceResult::ok;
}

void StdoutSink::write(const char* data, std::size_t size) {
  // A standard output that takes nothing more does not change the outcome of the run.
  (void)write_all(STDOUT_FILENO, data, size);
}

void prepare_process() {
  // A file opened by the run must never take the place of a closed standard stream, where the
  // run's messages would end up in it.
  for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; ++fd) {
    if (::fcntl(fd, F_GETFD) == -1 && ::open("/dev/null", O_RDWR) != fd) break;
  }
  ::signal(SIGPIPE, SIG_IGN);
  // Beyond the file size limit a write must fail and be reported, not end the process.
  ::signal(SIGXFSZ, SIG_IGN);
}

}  // namespace datlift
