// SPDX-License-Identifier: MIT
// The file-system primitives and process set-up on POSIX systems (Linux): the only code that
// calls the operating system there.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <sys/xattr.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/bytes.h"
#include "files/os.h"

namespace datlift {
namespace {

FsStatus failure(Fault fault = Fault::other, const char* step = nullptr) {
  return {fault, errno, step};
}

bool unsupported(int error) {
  return error == ENOSYS || error == ENOTSUP || error == EOPNOTSUPP;
}

// A change of owner that this user may not make, or that the file system cannot hold.
bool may_not_or_cannot(int error) {
  return error == EPERM || error == EINVAL || unsupported(error);
}

FileFacts facts_of(const struct stat& st) {
  return {true,
          S_ISREG(st.st_mode),
          {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
          static_cast<std::uint64_t>(st.st_size)};
}

int fd_of(FileHandle file) {
  return static_cast<int>(file);
}

bool write_all(int fd, const char* bytes, std::size_t size) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = ::write(fd, bytes + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Every signal whose default action ends the process, but those that cannot be held (KILL) and
// those that a fault of the program itself raises, which end it all the same while held.
void termination_signals(sigset_t& set) {
  sigfillset(&set);
  for (const int s : {SIGKILL, SIGSTOP, SIGCHLD, SIGCONT, SIGURG, SIGWINCH, SIGTSTP, SIGTTIN,
                      SIGTTOU, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP, SIGSYS})
    sigdelset(&set, s);
}

// Extended attributes, access control lists among them. Where the file system has none, there is
// nothing to keep; an attribute that the file system could hold but this user may not set fails
// the run when it governs access (an ACL, or a user's own attribute), since the new file would
// silently be open to others, or closed to them, unlike the old one. The security and trusted
// attributes, which only a privileged process may set, are left to the system.
constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

FsStatus copy_xattrs(const char* from, int fd, char* scratch) {
  char* const names = scratch;
  char* const value = scratch + OsFileSystem::kScratchSize / 2;
  const std::size_t room = OsFileSystem::kScratchSize / 2;
  const ssize_t listed = ::listxattr(from, names, room);
  if (listed < 0) return unsupported(errno) ? FsStatus{} : failure(Fault::other, "list xattrs");
  bool old_acl = false;
  for (ssize_t at = 0; at < listed;) {
    const char* name = names + at;
    at += static_cast<ssize_t>(std::strlen(name)) + 1;
    old_acl = old_acl || std::strcmp(name, kAccessAcl) == 0;
    const ssize_t size = ::getxattr(from, name, value, room);
    if (size < 0) {
      if (errno == ENODATA) continue;  // removed since it was listed
      return failure(Fault::other, "read xattr");
    }
    if (::fsetxattr(fd, name, value, static_cast<std::size_t>(size), 0) == 0) continue;
    if (unsupported(errno)) continue;
    const bool governs_access =
        std::strncmp(name, "system.", 7) == 0 || std::strncmp(name, "user.", 5) == 0;
    if ((errno == EPERM || errno == EACCES) && !governs_access) continue;
    return failure(Fault::other, "keep xattrs");
  }
  // A default ACL of the directory gave the new file an access ACL that the old one lacks.
  if (!old_acl && ::fremovexattr(fd, kAccessAcl) != 0 && errno != ENODATA && !unsupported(errno))
    return failure(Fault::other, "keep xattrs");
  return {};
}

// The permission bits that a directory's default ACL (its extended attribute, entries of a tag,
// a permission and an id after a version) gives a new file created with mode 0666: the owner's,
// the mask's (or the owning group's, where there is no mask) and the others', each without
// execution.
bool mode_of_default_acl(const char* acl, std::size_t size, mode_t& mode) {
  constexpr std::size_t kHeader = 4, kEntry = 8;
  constexpr unsigned kUserObj = 0x01, kGroupObj = 0x04, kMask = 0x10, kOther = 0x20;
  const ConstBytes bytes(reinterpret_cast<const std::uint8_t*>(acl), size);
  if (size < kHeader || (size - kHeader) % kEntry != 0 || load_le32(bytes, 0) != 2) return false;
  unsigned user = 0, group = 0, mask = 8, other = 0;
  for (std::size_t at = kHeader; at < size; at += kEntry) {
    const unsigned tag = load_le16(bytes, at), perm = load_le16(bytes, at + 2) & 7u;
    if (tag == kUserObj) user = perm;
    if (tag == kGroupObj) group = perm;
    if (tag == kMask) mask = perm;
    if (tag == kOther) other = perm;
  }
  const unsigned middle = mask != 8 ? mask : group;
  mode = static_cast<mode_t>(((user << 6) | (middle << 3) | other) & 0666);
  return true;
}

}  // namespace

StandardStream::StandardStream(int which) : handle_(which) {}

void StandardStream::write(const char* data, std::size_t size) {
  (void)write_all(static_cast<int>(handle_), data, size);
}

// Neither a closed standard stream nor the file size limit may end a run half-way.
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

static_assert(OsFileSystem::kScratchSize / 2 >= 65536,
              "room for the largest list and value of extended attributes (XATTR_LIST_MAX)");

// Links are followed by their own text, relative to the directory they stand in, so that no
// path grows longer than the names and link texts it is made of (the current directory may be
// deeper than any path the system takes).
FsStatus OsFileSystem::resolve(const char* name, Path& target, FileFacts& facts) {
  constexpr int kMaxLinks = 40;  // as the system follows them
  facts = {};
  if (!target.assign(name)) return {Fault::other, ENAMETOOLONG, nullptr};
  for (int links = 0;; ++links) {
    struct stat st;
    if (::lstat(target.c_str(), &st) != 0) {
      if (errno != ENOENT) return failure();
      return links == 0 ? FsStatus{} : failure(Fault::absent);  // nothing there, or dangling
    }
    if (!S_ISLNK(st.st_mode)) {
      facts = facts_of(st);
      return {};
    }
    if (links == kMaxLinks) return {Fault::other, ELOOP, nullptr};
    char* const text = scratch_;
    const ssize_t n = ::readlink(target.c_str(), text, kMaxPath);
    if (n < 0) return failure();
    if (n == 0 || static_cast<std::size_t>(n) >= kMaxPath)
      return {Fault::other, ENAMETOOLONG, nullptr};
    text[n] = 0;
    Path next;
    const bool fits = text[0] == '/' || last_separator(target.c_str()) == nullptr
                          ? next.assign(text)
                          : next.assign_directory_of(target.c_str()) && next.append(kSeparator) &&
                                next.append(text);
    if (!fits) return {Fault::other, ENAMETOOLONG, nullptr};
    target = next;
  }
}

FsStatus OsFileSystem::check_writable(const char* path) {
  const int fd = ::open(path, O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure();
  if (::close(fd) != 0) return failure();
  return {};
}

FsStatus OsFileSystem::open_read(const char* path, FileHandle& file, FileFacts& facts) {
  // Not blocking: a pipe named SYSTEM.DAT must not hang the run.
  const int fd = ::open(path, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(Fault::absent);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const FsStatus status = failure();
    ::close(fd);
    return status;
  }
  facts = facts_of(st);
  file = fd;
  return {};
}

FsStatus OsFileSystem::read(FileHandle file, Bytes dst, std::size_t& got) {
  got = 0;
  while (got < dst.size()) {
    const ssize_t n = ::read(fd_of(file), dst.data() + got, dst.size() - got);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failure();
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return {};
}

FsStatus OsFileSystem::create_new(const char* path, FileHandle& file, FileId& id) {
  // For the owner alone until its content is complete, and writable by the owner whatever the
  // umask: the umask is set aside for the one call (and a default ACL of the directory is masked
  // by the mode all the same).
  const mode_t umask = ::umask(077);
  const int fd = ::open(path, O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  const int error = errno;
  ::umask(umask);
  umask_ = umask;
  errno = error;
  if (fd < 0) return failure(errno == EEXIST ? Fault::exists : Fault::other);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const FsStatus status = failure();
    ::close(fd);
    ::unlink(path);
    return status;
  }
  id = facts_of(st).id;
  file = fd;
  return {};
}

// The owner first, since a change of owner clears the set-user-ID and set-group-ID bits and
// capabilities; the attributes then, the permission bits last.
FsStatus OsFileSystem::copy_metadata(const char* from, FileHandle to) {
  const int fd = fd_of(to);
  struct stat old;
  if (::stat(from, &old) != 0) return failure(Fault::other, "stat");
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    // Only a privileged user may give a file away; a member of the file's group may still
    // keep the group.
    bool kept = ::fchown(fd, old.st_uid, old.st_gid) == 0;
    if (!kept && !may_not_or_cannot(errno)) return failure(Fault::other, "keep owner");
    if (!kept && !unsupported(errno) && old.st_gid != ::getegid() &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && !may_not_or_cannot(errno))
      return failure(Fault::other, "keep group");
  }
  if (const FsStatus st = copy_xattrs(from, fd, scratch_); !st.ok()) return st;
  if (::fchmod(fd, old.st_mode & 07777) != 0 && !unsupported(errno))
    return failure(Fault::other, "keep mode");
  return {};
}

FsStatus OsFileSystem::set_new_file_access(const char* path, FileHandle to) {
  Path dir;
  if (!dir.assign_directory_of(path)) return {Fault::other, ENAMETOOLONG, nullptr};
  mode_t mode = 0666 & ~static_cast<mode_t>(umask_);
  const ssize_t n = ::getxattr(dir.c_str(), kDefaultAcl, scratch_, kScratchSize);
  if (n > 0 && !mode_of_default_acl(scratch_, static_cast<std::size_t>(n), mode))
    return {Fault::other, EINVAL, "read default ACL"};
  if (::fchmod(fd_of(to), mode) != 0 && !unsupported(errno))
    return failure(Fault::other, "set mode");
  return {};
}

FsStatus OsFileSystem::write(FileHandle file, std::span<const ConstBytes> parts) {
  iovec iov[kMaxWriteParts];
  std::size_t count = 0;
  for (const ConstBytes part : parts) {
    if (part.empty()) continue;
    if (count == kMaxWriteParts) return {Fault::other, EINVAL, nullptr};
    iov[count++] = {const_cast<std::uint8_t*>(part.data()), part.size()};
  }
  for (std::size_t first = 0; first < count;) {
    const ssize_t n = ::writev(fd_of(file), iov + first, static_cast<int>(count - first));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return failure();
    if (n == 0) return {Fault::other, EIO, nullptr};
    // Skip what went out, part by part.
    for (std::size_t done = static_cast<std::size_t>(n); done > 0 && first < count;) {
      const std::size_t step = done < iov[first].iov_len ? done : iov[first].iov_len;
      iov[first].iov_base = static_cast<char*>(iov[first].iov_base) + step;
      iov[first].iov_len -= step;
      done -= step;
      if (iov[first].iov_len == 0) ++first;
    }
  }
  return {};
}

FsStatus OsFileSystem::sync(FileHandle file) {
  return ::fsync(fd_of(file)) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::close(FileHandle file) {
  // After EINTR the descriptor is gone all the same on Linux: never close it twice.
  return ::close(fd_of(file)) == 0 || errno == EINTR ? FsStatus{} : failure();
}

FsStatus OsFileSystem::rename(const char* from, const char* to) {
  return ::rename(from, to) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::rename_new(const char* from, const char* to) {
#ifdef RENAME_NOREPLACE
  if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0) return {};
  if (errno == EEXIST) return failure(Fault::exists);
  if (errno != EINVAL && !unsupported(errno)) return failure();
#endif
  // Where the file system cannot refuse to replace, the name is looked at first: the names asked
  // for here are this process's own, so only a killed run's left-over can take one meanwhile.
  struct stat st;
  if (::lstat(to, &st) == 0) return {Fault::exists, EEXIST, nullptr};
  if (errno != ENOENT) return failure();
  return ::rename(from, to) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::link(const char* existing, const char* name) {
  if (::link(existing, name) == 0) return {};
  // File systems without hard links (FAT among them) answer EPERM.
  if (errno == EEXIST) return failure(Fault::exists);
  return failure(errno == EPERM || errno == EMLINK || unsupported(errno) ? Fault::unsupported
                                                                         : Fault::other);
}

FsStatus OsFileSystem::remove(const char* path) {
  return ::unlink(path) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::sync_directory(const char* path) {
  Path dir;
  if (!dir.assign_directory_of(path)) return {Fault::other, ENAMETOOLONG, nullptr};
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return failure();
  const FsStatus status = ::fsync(fd) == 0 ? FsStatus{} : failure();
  ::close(fd);
  return status;
}

FsStatus OsFileSystem::lock(const char* name, FileHandle& lock, FileId& locked) {
  const int fd = ::open(name, O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(Fault::absent);
  int r;
  do {
    r = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (r != 0 && errno == EINTR);
  struct stat st;
  if (r == 0 && ::fstat(fd, &st) == 0) {
    locked = facts_of(st).id;
    lock = fd;
    return {};
  }
  // Network file systems that map flock onto record locks refuse an exclusive one on a file
  // open only for reading (EBADF): there, as where locks are missing, runs go unlocked.
  const FsStatus status =
      failure(errno == EWOULDBLOCK ? Fault::busy
              : errno == ENOLCK || errno == EBADF || errno == EINVAL || unsupported(errno)
                  ? Fault::unsupported
                  : Fault::other);
  ::close(fd);
  return status;
}

void OsFileSystem::unlock(FileHandle lock) {
  ::close(fd_of(lock));
}

void OsEnvironment::wait_milliseconds(int ms) {
  timespec t{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  while (::nanosleep(&t, &t) != 0 && errno == EINTR) {
  }
}

unsigned long OsEnvironment::process_id() {
  return static_cast<unsigned long>(::getpid());
}

void OsEnvironment::hold_signals() {
  sigset_t set;
  termination_signals(set);
  ::sigprocmask(SIG_BLOCK, &set, nullptr);
}

void OsEnvironment::release_signals() {
  // A pending signal is delivered here, with its default action: the process ends.
  sigset_t set;
  termination_signals(set);
  ::sigprocmask(SIG_UNBLOCK, &set, nullptr);
}

const char* OsFileSystem::describe(int code) {
#if defined(__GLIBC__)
  // Unlike strerror, never formats (or allocates) for an unknown number.
  const char* text = ::strerrordesc_np(code);
  return text != nullptr ? text : "Unknown error";
#else
  return ::strerror(code);
#endif
}

bool OsEnvironment::errors_to_terminal() {
  return ::isatty(STDERR_FILENO) == 1;
}

}  // namespace datlift
