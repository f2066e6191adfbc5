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
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <sys/sysmacros.h>
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

// A name that the run looked at and found a file under, where a call on it finds a link (which
// O_NOFOLLOW refuses) or nothing: another program changed it meanwhile.
Fault changed_or(Fault otherwise) {
  return errno == ELOOP || errno == ENOENT ? Fault::changed : otherwise;
}

FileFacts facts_of(const struct stat& st) {
  return {true,
          S_ISREG(st.st_mode),
          {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
          static_cast<std::uint64_t>(st.st_size)};
}

constexpr int kBitsPerWord = 8 * sizeof(unsigned long);

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
// those that a fault of the program itself raises, which end it all the same while held: as the
// kernel takes a set, one bit per signal. The C library's calls would leave out 32 and 33, which
// it keeps for its threads, and which end a process of one thread like any other.
void termination_signals(KernelSignalSet& set) {
  set = {};
  for (int s = 1; s <= kKernelSignals; ++s) {
    switch (s) {
      case SIGKILL:
      case SIGSTOP:
      case SIGCHLD:
      case SIGCONT:
      case SIGURG:
      case SIGWINCH:
      case SIGTSTP:
      case SIGTTIN:
      case SIGTTOU:
      case SIGSEGV:
      case SIGBUS:
      case SIGFPE:
      case SIGILL:
      case SIGTRAP:
      case SIGSYS:
        continue;
      default:
        set.bits[(s - 1) / kBitsPerWord] |= 1ul << ((s - 1) % kBitsPerWord);
    }
  }
}

int kernel_sigprocmask(int how, const KernelSignalSet* set, KernelSignalSet* old) {
  return static_cast<int>(::syscall(SYS_rt_sigprocmask, how, set, old, sizeof(KernelSignalSet)));
}

// Extended attributes, access control lists among them. Where the file system has none, there is
// nothing to keep; an attribute that the file system could hold but this user may not set fails
// the run when it governs access (an ACL, or a user's own attribute), since the new file would
// silently be open to others, or closed to them, unlike the old one. The security and trusted
// attributes, which only a privileged process may set, are left to the system.
constexpr char kAccessAcl[] = "system.posix_acl_access";
constexpr char kDefaultAcl[] = "system.posix_acl_default";

FsStatus copy_xattrs(int from, int fd, char* scratch) {
  char* const names = scratch;
  char* const value = scratch + OsFileSystem::kScratchSize / 2;
  const std::size_t room = OsFileSystem::kScratchSize / 2;
  const ssize_t listed = ::flistxattr(from, names, room);
  if (listed < 0) return unsupported(errno) ? FsStatus{} : failure(Fault::other, "list xattrs");
  bool old_acl = false;
  for (ssize_t at = 0; at < listed;) {
    const char* name = names + at;
    at += static_cast<ssize_t>(std::strlen(name)) + 1;
    old_acl = old_acl || std::strcmp(name, kAccessAcl) == 0;
    const ssize_t size = ::fgetxattr(from, name, value, room);
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

// Whether the system mounted the file system that a device holds as ext3 or ext4: the field after
// " - " on the line of /proc/self/mountinfo whose third field is "<major>:<minor>".
bool mounted_with_journal(dev_t device, char* text, std::size_t room) {
  const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  std::size_t size = 0;
  for (ssize_t n; size < room && (n = ::read(fd, text + size, room - size)) != 0;) {
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) break;
    size += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (size == room) return false;  // more mounts than there is room for: not known
  Path numbers;
  if (!numbers.assign(" ") || !numbers.append_number(major(device)) || !numbers.append(":") ||
      !numbers.append_number(minor(device)) || !numbers.append(" "))
    return false;
  text[size] = 0;
  for (char* line = text; line < text + size;) {
    char* end = std::strchr(line, '\n');
    if (end == nullptr) end = text + size;
    *end = 0;
    const char* first_space = std::strchr(line, ' ');
    const char* second_space = first_space != nullptr ? std::strchr(first_space + 1, ' ') : nullptr;
    const char* fields = std::strstr(line, " - ");
    if (second_space != nullptr && fields != nullptr &&
        std::strncmp(second_space, numbers.c_str(), numbers.size) == 0)
      return std::strncmp(fields + 3, "ext4 ", 5) == 0 || std::strncmp(fields + 3, "ext3 ", 5) == 0;
    line = end + 1;
  }
  return false;
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

namespace {

// A descriptor of this file's own, closed when it goes; the current directory is none.
struct OwnedFd {
  int fd = AT_FDCWD;
  OwnedFd() = default;
  OwnedFd(const OwnedFd&) = delete;
  OwnedFd& operator=(const OwnedFd&) = delete;
  ~OwnedFd() { reset(AT_FDCWD); }
  void reset(int other) {
    if (fd >= 0) ::close(fd);
    fd = other;
  }
  int release() {
    const int owned = fd;
    fd = AT_FDCWD;
    return owned;
  }
};

// A directory opened to name files in: for reading where this user may, else only as a place
// (a directory that may be searched but not listed).
int open_directory(int at, const char* name) {
  const int fd = ::openat(at, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd >= 0 || errno != EACCES) return fd;
  return ::openat(at, name, O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// The system's rule for links (fs.protected_symlinks), whatever it is set to: in a sticky
// directory that others may write, only a link of the follower or of the directory's owner is
// followed.
bool may_follow(int dir, const struct stat& link) {
  struct stat d;
  if (::fstatat(dir, dir == AT_FDCWD ? "." : "", &d, dir == AT_FDCWD ? 0 : AT_EMPTY_PATH) != 0)
    return false;
  const bool shared = (d.st_mode & (S_ISVTX | S_IWOTH)) == (S_ISVTX | S_IWOTH);
  return !shared || link.st_uid == ::geteuid() || link.st_uid == d.st_uid;
}

// A path for people, kept as the walk goes: "name/" for each directory entered, ".." taking the
// last one away again where it was entered by name (a directory, never a link, so that its
// parent is the directory it was entered from).
class ShownPath {
 public:
  explicit ShownPath(Path& path) : path_(path) { (void)path_.assign(""); }
  void from_root() {
    (void)path_.assign("/");
    entered_ = 0;
  }
  bool enter(const char* name) { return ++entered_, path_.append(name) && path_.append("/"); }
  bool leave() {
    if (entered_ == 0) return path_.size == 1 && path_.text[0] == '/' ? true : path_.append("../");
    --entered_;
    std::size_t end = path_.size - 1;
    while (end > 0 && path_.text[end - 1] != '/') --end;
    path_.text[end] = 0;
    path_.size = end;
    return true;
  }
  bool end_at(const char* name) { return path_.append(name); }

 private:
  Path& path_;
  int entered_ = 0;
};

// A name followed part by part from a directory, as the system walks a path: `pending` holds what
// is still to follow, and a link's text takes the link's place in it.
class NameWalk {
 public:
  static constexpr std::size_t kPending = 2 * kMaxPath;
  static constexpr int kMaxLinks = 40;  // as the system follows them

  NameWalk(char* pending, char* text, Path& shown)
      : pending_(pending), text_(text), shown_(shown) {}

  FsStatus start(const char* name) {
    const std::size_t length = std::strlen(name);
    if (length == 0) return {Fault::other, ENOENT, nullptr};
    if (length >= kPending) return {Fault::other, ENAMETOOLONG, nullptr};
    std::memcpy(pending_, name, length + 1);
    if (name[0] == '/') from_root();
    return {};
  }
  // The next part of the name, NUL-terminated in place; `last` where nothing follows it.
  char* next_part(bool& last) {
    while (pending_[next_] == '/') ++next_;
    char* const part = pending_ + next_;
    std::size_t end = next_;
    while (pending_[end] != 0 && pending_[end] != '/') ++end;
    next_ = end;
    while (pending_[next_] == '/') ++next_;
    last = pending_[next_] == 0;
    pending_[end] = 0;
    return part;
  }
  int at() const { return at_.fd; }
  int links() const { return links_; }

  // The link `part` (of `st`) where the system would follow it: its text in its place.
  FsStatus follow(const char* part, const struct stat& st) {
    if (++links_ > kMaxLinks) return {Fault::other, ELOOP, nullptr};
    if (!may_follow(at_.fd, st)) return {Fault::other, EACCES, nullptr};
    const ssize_t n = ::readlinkat(at_.fd, part, text_, kMaxPath);
    if (n < 0) return failure();
    const std::size_t size = static_cast<std::size_t>(n), rest = std::strlen(pending_ + next_);
    if (size == 0 || size >= kMaxPath || size + 1 + rest >= kPending)
      return {Fault::other, ENAMETOOLONG, nullptr};
    std::memmove(pending_ + size + 1, pending_ + next_, rest + 1);
    std::memcpy(pending_, text_, size);
    pending_[size] = rest > 0 ? '/' : 0;
    next_ = 0;
    if (text_[0] == '/') from_root();
    return {};
  }
  // Into the directory `part` (of `st`), or out of this one for "..".
  FsStatus enter(const char* part, const struct stat& st) {
    if (!S_ISDIR(st.st_mode)) return {Fault::other, ENOTDIR, nullptr};
    const bool up = std::strcmp(part, "..") == 0;
    if (!(up ? shown_.leave() : shown_.enter(part))) return {Fault::other, ENAMETOOLONG, nullptr};
    at_.reset(open_directory(at_.fd, part));
    return at_.fd == -1 ? failure() : FsStatus{};
  }
  // Ends at `part` in the directory reached, which goes to the caller.
  FsStatus end(const char* part, DirHandle& dir) {
    if (!shown_.end_at(part)) return {Fault::other, ENAMETOOLONG, nullptr};
    dir = at_.fd == AT_FDCWD ? open_directory(AT_FDCWD, ".") : at_.release();
    if (dir >= 0) return {};
    dir = kNoDirectory;
    return failure();
  }

 private:
  void from_root() {
    at_.reset(open_directory(AT_FDCWD, "/"));
    shown_.from_root();
  }

  char* pending_;
  char* text_;
  ShownPath shown_;
  OwnedFd at_;
  std::size_t next_ = 0;
  int links_ = 0;
};

}  // namespace

// Links are followed one at a time from a directory handle, each by its own text relative to the
// directory it stands in: no path grows longer than one link's text and the rest of the name (the
// current directory may be deeper than any path the system takes), and what the walk has passed
// cannot change under it.
FsStatus OsFileSystem::resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) {
  static_assert(NameWalk::kPending + kMaxPath <= kScratchSize, "room for a name and a link");
  facts = {};
  dir = kNoDirectory;
  NameWalk walk(scratch_, scratch_ + NameWalk::kPending, path);
  if (const FsStatus st = walk.start(name); !st.ok()) return st;
  for (;;) {
    if (walk.at() == -1) return failure();
    bool last = false;
    const char* part = walk.next_part(last);
    if (part[0] == 0 || (std::strcmp(part, ".") == 0 && !last)) continue;
    struct stat st;
    FsStatus status;
    if (::fstatat(walk.at(), part, &st, AT_SYMLINK_NOFOLLOW) != 0) {
      // Nothing under the name itself is a name that stands for nothing; under a link's, a
      // dangling link.
      if (errno != ENOENT || !last) return failure();
      return walk.links() > 0 ? failure(Fault::absent) : walk.end(part, dir);
    }
    if (S_ISLNK(st.st_mode)) {
      status = walk.follow(part, st);
    } else if (last) {
      facts = facts_of(st);
      return walk.end(part, dir);
    } else {
      status = walk.enter(part, st);
    }
    if (!status.ok()) return status;
  }
}

void OsFileSystem::close_directory(DirHandle dir) {
  ::close(static_cast<int>(dir));
}

FsStatus OsFileSystem::look(DirHandle dir, const char* name, FileFacts& facts) {
  facts = {};
  struct stat st;
  if (::fstatat(static_cast<int>(dir), name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
    facts = facts_of(st);
    return {};
  }
  return errno == ENOENT ? FsStatus{} : failure();
}

// In a sticky directory only the file's owner, the directory's or a privileged user may put
// another file in its place: no other may even begin.
FsStatus OsFileSystem::check_writable(DirHandle dir, const char* name) {
  const int at = static_cast<int>(dir);
  const int fd = ::openat(at, name, O_WRONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(changed_or(Fault::other));
  struct stat file, directory;
  const bool looked = ::fstat(fd, &file) == 0 && ::fstat(at, &directory) == 0;
  const FsStatus status = looked ? FsStatus{} : failure();
  if (::close(fd) != 0) return failure();
  if (!status.ok()) return status;
  const uid_t me = ::geteuid();
  if ((directory.st_mode & S_ISVTX) != 0 && me != 0 && me != file.st_uid && me != directory.st_uid)
    return {Fault::denied, EPERM,
            "replace in a sticky directory (only the owner of the file or of the directory may)"};
  return {};
}

FsStatus OsFileSystem::open_read(DirHandle dir, const char* name, FileHandle& file,
                                 FileFacts& facts) {
  // Not blocking: a pipe named SYSTEM.DAT must not hang the run.
  const int fd = ::openat(static_cast<int>(dir), name,
                          O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(errno == ELOOP ? Fault::changed : Fault::absent);
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

FsStatus OsFileSystem::create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) {
  // For the owner alone until its content is complete, and writable by the owner whatever the
  // umask: the umask is set aside for the one call (and a default ACL of the directory is masked
  // by the mode all the same).
  const mode_t umask = ::umask(077);
  const int fd = ::openat(static_cast<int>(dir), name,
                          O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0600);
  const int error = errno;
  ::umask(umask);
  umask_ = umask;
  errno = error;
  if (fd < 0) return failure(errno == EEXIST ? Fault::exists : Fault::other);
  struct stat st;
  if (::fstat(fd, &st) != 0) {
    const FsStatus status = failure();
    ::close(fd);
    ::unlinkat(static_cast<int>(dir), name, 0);
    return status;
  }
  id = facts_of(st).id;
  file = fd;
  return {};
}

// The owner first, since a change of owner clears the set-user-ID and set-group-ID bits and
// capabilities; the attributes then, the permission bits last. A set-ID bit goes with its owner
// or group only, as a copy keeps it: never a set-user-ID file of another user than its owner.
FsStatus OsFileSystem::copy_metadata(DirHandle dir, const char* name, const FileId& expected,
                                     FileHandle to) {
  const int at = static_cast<int>(dir), fd = fd_of(to);
  constexpr int kFlags = O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC;
  OwnedFd from;
  from.reset(::openat(at, name, O_RDONLY | kFlags));
  if (from.fd < 0 && errno == EACCES) from.reset(::openat(at, name, O_WRONLY | kFlags));
  if (from.fd < 0) return failure(changed_or(Fault::other), "open");
  struct stat old, made;
  if (::fstat(from.fd, &old) != 0) return failure(Fault::other, "stat");
  if (!(facts_of(old).id == expected)) return {Fault::changed, 0, nullptr};
  if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
    // Only a privileged user may give a file away; a member of the file's group may still
    // keep the group.
    bool kept = ::fchown(fd, old.st_uid, old.st_gid) == 0;
    if (!kept && !may_not_or_cannot(errno)) return failure(Fault::other, "keep owner");
    if (!kept && !unsupported(errno) && old.st_gid != ::getegid() &&
        ::fchown(fd, static_cast<uid_t>(-1), old.st_gid) != 0 && !may_not_or_cannot(errno))
      return failure(Fault::other, "keep group");
  }
  if (const FsStatus st = copy_xattrs(from.fd, fd, scratch_); !st.ok()) return st;
  if (::fstat(fd, &made) != 0) return failure(Fault::other, "stat");
  mode_t mode = old.st_mode & 07777;
  if (made.st_uid != old.st_uid) mode &= ~static_cast<mode_t>(S_ISUID);
  if (made.st_gid != old.st_gid) mode &= ~static_cast<mode_t>(S_ISGID);
  if (::fchmod(fd, mode) != 0 && !unsupported(errno)) return failure(Fault::other, "keep mode");
  return {};
}

FsStatus OsFileSystem::set_new_file_access(DirHandle dir, FileHandle to) {
  mode_t mode = 0666 & ~static_cast<mode_t>(umask_);
  const int at = static_cast<int>(dir);
  ssize_t n = ::fgetxattr(at, kDefaultAcl, scratch_, kScratchSize);
  if (n < 0 && errno == EBADF) {
    // A directory that may be searched but not read, held only as a place.
    Path proc;
    if (proc.assign("/proc/self/fd/") && proc.append_number(static_cast<unsigned long>(at)))
      n = ::getxattr(proc.c_str(), kDefaultAcl, scratch_, kScratchSize);
  }
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

FsStatus OsFileSystem::rename(DirHandle dir, const char* from, const char* to) {
  const int at = static_cast<int>(dir);
  return ::renameat(at, from, at, to) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::rename_new(DirHandle dir, const char* from, const char* to) {
  const int at = static_cast<int>(dir);
#ifdef RENAME_NOREPLACE
  if (::renameat2(at, from, at, to, RENAME_NOREPLACE) == 0) return {};
  if (errno == EEXIST) return failure(Fault::exists);
  if (errno != EINVAL && !unsupported(errno)) return failure();
#endif
  // Where the file system cannot refuse to replace, the name is looked at first: the names asked
  // for here are this process's own, so only a killed run's left-over can take one meanwhile.
  struct stat st;
  if (::fstatat(at, to, &st, AT_SYMLINK_NOFOLLOW) == 0) return {Fault::exists, EEXIST, nullptr};
  if (errno != ENOENT) return failure();
  return ::renameat(at, from, at, to) == 0 ? FsStatus{} : failure();
}

FsStatus OsFileSystem::link(DirHandle dir, const char* existing, const char* name) {
  const int at = static_cast<int>(dir);
  if (::linkat(at, existing, at, name, 0) == 0) return {};
  // File systems without hard links (FAT among them) answer EPERM.
  if (errno == EEXIST) return failure(Fault::exists);
  return failure(errno == EPERM || errno == EMLINK || unsupported(errno) ? Fault::unsupported
                                                                         : Fault::other);
}

FsStatus OsFileSystem::remove(DirHandle dir, const char* name) {
  if (::unlinkat(static_cast<int>(dir), name, 0) == 0) return {};
  return failure(errno == EPERM || errno == EACCES ? Fault::denied : Fault::other);
}

FsStatus OsFileSystem::sync_directory(DirHandle dir) {
  return ::fsync(static_cast<int>(dir)) == 0 ? FsStatus{} : failure();
}

// XFS's log, and the journal of ext3 and ext4, commit the changes of names in order. ext2 has the
// same number as they, and no journal: the mount's own type tells them apart.
bool OsFileSystem::keeps_name_order(DirHandle dir) {
  constexpr unsigned long kExtMagic = 0xEF53, kXfsMagic = 0x58465342;
  struct statfs fs;
  struct stat st;
  const int at = static_cast<int>(dir);
  if (::fstatfs(at, &fs) != 0 || ::fstat(at, &st) != 0) return false;
  const unsigned long type = static_cast<unsigned long>(fs.f_type);
  if (type == kXfsMagic) return true;
  if (type != kExtMagic) return false;
  return mounted_with_journal(st.st_dev, scratch_, kScratchSize - 1);
}

FsStatus OsFileSystem::lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) {
  const int fd = ::openat(static_cast<int>(dir), name,
                          O_RDONLY | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return failure(errno == ELOOP ? Fault::changed : Fault::absent);
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
  KernelSignalSet set;
  termination_signals(set);
  (void)kernel_sigprocmask(SIG_BLOCK, &set, &saved_signals_);
}

// The mask the process came with, exactly: a signal that the caller held stays held. One that the
// run held and that came meanwhile is delivered here, with its default action: the process ends.
void OsEnvironment::release_signals() {
  (void)kernel_sigprocmask(SIG_SETMASK, &saved_signals_, nullptr);
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
