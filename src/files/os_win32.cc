// SPDX-License-Identifier: MIT
// The file-system primitives and process set-up on Windows: the only code that calls the
// operating system there. Names go to the wide (W) calls, converted from UTF-8.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "files/os.h"

namespace datlift {
namespace {

// Renames and removals that meet a sharing violation are tried again for about a second: virus
// scanners and indexers open new files for a moment.
constexpr int kBusyRetries = 20;
constexpr DWORD kBusyRetryMilliseconds = 50;

using WidePath = wchar_t[kMaxPath];

FsStatus failure(Fault fault = Fault::other, const char* step = nullptr) {
  return {fault, static_cast<int>(::GetLastError()), step};
}

bool widen(const char* path, WidePath& wide) {
  return ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, wide, kMaxPath) > 0;
}

HANDLE handle_of(FileHandle file) {
  return reinterpret_cast<HANDLE>(file);
}

FileHandle file_of(HANDLE h) {
  return reinterpret_cast<FileHandle>(h);
}

bool sharing_conflict(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED ||
         error == ERROR_LOCK_VIOLATION;
}

FsStatus bad_name() {
  return {Fault::other, ERROR_FILENAME_EXCED_RANGE, nullptr};
}

// Everything the other calls may need of a file while it is open here: reading, writing,
// renaming or deleting it under this process's feet.
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

FileFacts facts_of(HANDLE h) {
  FileFacts facts;
  BY_HANDLE_FILE_INFORMATION info;
  if (!::GetFileInformationByHandle(h, &info)) return facts;
  facts.exists = true;
  constexpr DWORD kNotAFile = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  facts.regular = ::GetFileType(h) == FILE_TYPE_DISK && (info.dwFileAttributes & kNotAFile) == 0;
  facts.id = {info.dwVolumeSerialNumber,
              (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  facts.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  return facts;
}

// Opens a name for looking at it only (directories too), following links.
HANDLE open_for_facts(const wchar_t* path) {
  return ::CreateFileW(path, FILE_READ_ATTRIBUTES, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

// Opens a name itself, a link (a reparse point) as the link, never what it points at.
HANDLE open_itself(const wchar_t* path, DWORD access) {
  return ::CreateFileW(path, access, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// The full name of the file a handle is open on.
bool final_path(HANDLE h, Path& path) {
  WidePath name;
  const DWORD n = ::GetFinalPathNameByHandleW(h, name, kMaxPath, FILE_NAME_NORMALIZED);
  const bool fits = n > 0 && n < kMaxPath;
  if (!fits ||
      ::WideCharToMultiByte(CP_UTF8, 0, name, -1, path.text, kMaxPath, nullptr, nullptr) <= 0)
    return false;
  path.size = std::strlen(path.text);
  return true;
}

// Console events of the process: while held, Ctrl-C and Ctrl-Break are noted, and closing the
// console waits until the files are in place. The handler routine takes no context, so this
// state is the process's own.
std::atomic<bool> g_held{false};
std::atomic<DWORD> g_pending{0};  // the first event that came while held, plus one
HANDLE g_released = nullptr;      // signalled when the events are released

BOOL WINAPI on_console_event(DWORD event) {
  if (!g_held.load()) return FALSE;  // the default: end the process at once
  DWORD none = 0;
  g_pending.compare_exchange_strong(none, event + 1);
  if (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT) return TRUE;
  // Closing the console, logging off, shutting down: the process ends when this returns.
  if (g_released != nullptr) ::WaitForSingleObject(g_released, INFINITE);
  return FALSE;
}

}  // namespace

StandardStream::StandardStream(int which)
    : handle_(reinterpret_cast<std::intptr_t>(
          ::GetStdHandle(which == 2 ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE))) {}

// Text output of a Windows program ends its lines with CR LF.
void StandardStream::write(const char* data, std::size_t size) {
  const HANDLE h = reinterpret_cast<HANDLE>(handle_);
  char buffer[1024];
  std::size_t used = 0;
  auto flush = [&] {
    for (std::size_t done = 0; done < used;) {
      DWORD n = 0;
      if (h == nullptr || h == INVALID_HANDLE_VALUE ||
          !::WriteFile(h, buffer + done, static_cast<DWORD>(used - done), &n, nullptr) || n == 0)
        break;
      done += n;
    }
    used = 0;
  };
  for (std::size_t i = 0; i < size; ++i) {
    if (used + 2 > sizeof buffer) flush();
    if (data[i] == '\n') buffer[used++] = '\r';
    buffer[used++] = data[i];
  }
  flush();
}

void prepare_process() {
  // A missing disk or a removed stick is a failed call and a message, never a dialog box.
  ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX | SEM_NOGPFAULTERRORBOX);
  g_released = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ::SetConsoleCtrlHandler(on_console_event, TRUE);
}

// A name is followed once, by the system, to the file it ends at; the run then names that file
// by its whole path: the directory kept here, then its own name. Creating a symbolic link needs a
// privilege that users lack by default, so no other user can plant one in a shared folder.
FsStatus OsFileSystem::resolve(const char* name, DirHandle& dir, Path& path, FileFacts& facts) {
  facts = {};
  dir = kNoDirectory;
  WidePath wide;
  if (!widen(name, wide)) return bad_name();
  const DWORD attributes = ::GetFileAttributesW(wide);
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return failure();
    if (!path.assign(name)) return bad_name();
  } else {
    const HANDLE h = open_for_facts(wide);
    if (h == INVALID_HANDLE_VALUE) {
      // A link whose target is gone, among others.
      const DWORD error = ::GetLastError();
      return failure(error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Fault::absent
                                                                                    : Fault::other);
    }
    facts = facts_of(h);
    // A link: its target's full name, where the new file must be made.
    const bool ok =
        (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 ? final_path(h, path) : path.assign(name);
    const FsStatus status = ok ? FsStatus{} : failure();
    ::CloseHandle(h);
    if (!status.ok()) return status;
  }
  return hold_directory(path, dir);
}

// The directory of a path, kept until it is closed.
FsStatus OsFileSystem::hold_directory(const Path& path, DirHandle& dir) {
  for (int slot = 0; slot < kDirectories; ++slot) {
    if (directory_used_[slot]) continue;
    if (!directories_[slot].assign_directory_of(path.c_str())) return bad_name();
    directory_used_[slot] = true;
    dir = slot;
    return {};
  }
  return {Fault::other, ERROR_TOO_MANY_OPEN_FILES, nullptr};
}

void OsFileSystem::close_directory(DirHandle dir) {
  if (dir >= 0 && dir < kDirectories) directory_used_[dir] = false;
}

bool OsFileSystem::widen_at(DirHandle dir, const char* name, wchar_t* wide) {
  Path whole;
  return dir >= 0 && dir < kDirectories && whole.assign(directories_[dir].c_str()) &&
         whole.append(kSeparator) && whole.append(name) &&
         ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, whole.c_str(), -1, wide, kMaxPath) >
             0;
}

// A link (a reparse point) as itself.
FsStatus OsFileSystem::look(DirHandle dir, const char* name, FileFacts& facts) {
  facts = {};
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const HANDLE h = open_itself(wide, FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FsStatus{} : failure();
  }
  facts = facts_of(h);
  ::CloseHandle(h);
  return {};
}

FsStatus OsFileSystem::check_writable(DirHandle dir, const char* name) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const DWORD attributes = ::GetFileAttributesW(wide);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0)
    return {Fault::other, ERROR_ACCESS_DENIED, "read-only"};
  // Asking for deletion too finds a program that holds the file open without letting it be
  // replaced.
  const HANDLE h = open_itself(wide, GENERIC_WRITE | DELETE);
  if (h == INVALID_HANDLE_VALUE) return failure();
  return ::CloseHandle(h) ? FsStatus{} : failure();
}

FsStatus OsFileSystem::open_read(DirHandle dir, const char* name, FileHandle& file,
                                 FileFacts& facts) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const HANDLE h = open_itself(wide, GENERIC_READ);
  if (h == INVALID_HANDLE_VALUE) return failure(Fault::absent);
  facts = facts_of(h);
  file = file_of(h);
  return {};
}

FsStatus OsFileSystem::read(FileHandle file, Bytes dst, std::size_t& got) {
  got = 0;
  while (got < dst.size()) {
    DWORD n = 0;
    const DWORD want = static_cast<DWORD>(dst.size() - got);
    if (!::ReadFile(handle_of(file), dst.data() + got, want, &n, nullptr)) return failure();
    if (n == 0) break;
    got += n;
  }
  return {};
}

// Opened without sharing: no other program opens it until it is closed, complete.
FsStatus OsFileSystem::create_new(DirHandle dir, const char* name, FileHandle& file, FileId& id) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const HANDLE h = ::CreateFileW(wide, GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    return failure(error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? Fault::exists
                                                                               : Fault::other);
  }
  id = facts_of(h).id;
  file = file_of(h);
  return {};
}

// The attributes that say how the file is shown and archived; the new file takes the access
// rules of its directory, as every new file there does.
FsStatus OsFileSystem::copy_metadata(DirHandle dir, const char* name, const FileId& old,
                                     FileHandle to) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const HANDLE h = open_itself(wide, FILE_READ_ATTRIBUTES);
  if (h == INVALID_HANDLE_VALUE) return failure(Fault::other, "keep attributes");
  BY_HANDLE_FILE_INFORMATION found;
  const bool looked = ::GetFileInformationByHandle(h, &found) != 0;
  const FileFacts facts = facts_of(h);
  ::CloseHandle(h);
  if (!looked) return failure(Fault::other, "keep attributes");
  if (!(facts.id == old)) return {Fault::changed, 0, nullptr};
  constexpr DWORD kKept = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;
  const DWORD attributes = found.dwFileAttributes;
  FILE_BASIC_INFO info{};
  info.FileAttributes = (attributes & kKept) != 0 ? attributes & kKept : FILE_ATTRIBUTE_NORMAL;
  if (!::SetFileInformationByHandle(handle_of(to), FileBasicInfo, &info, sizeof info)) {
    const DWORD error = ::GetLastError();
    if (error != ERROR_INVALID_PARAMETER && error != ERROR_NOT_SUPPORTED)
      return failure(Fault::other, "keep attributes");
  }
  return {};
}

// A new file takes the access rules of its directory when it is created, as every new file
// there does.
FsStatus OsFileSystem::set_new_file_access(DirHandle, FileHandle) {
  return {};
}

FsStatus OsFileSystem::write(FileHandle file, std::span<const ConstBytes> parts) {
  for (const ConstBytes part : parts) {
    for (std::size_t done = 0; done < part.size();) {
      DWORD n = 0;
      const DWORD want = static_cast<DWORD>(part.size() - done);
      if (!::WriteFile(handle_of(file), part.data() + done, want, &n, nullptr)) return failure();
      if (n == 0) return {Fault::other, ERROR_WRITE_FAULT, nullptr};
      done += n;
    }
  }
  return {};
}

FsStatus OsFileSystem::sync(FileHandle file) {
  return ::FlushFileBuffers(handle_of(file)) ? FsStatus{} : failure();
}

FsStatus OsFileSystem::close(FileHandle file) {
  return ::CloseHandle(handle_of(file)) ? FsStatus{} : failure();
}

FsStatus OsFileSystem::rename(DirHandle dir, const char* from, const char* to) {
  WidePath wide_from, wide_to;
  if (!widen_at(dir, from, wide_from) || !widen_at(dir, to, wide_to)) return bad_name();
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(wide_from, wide_to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return {};
    if (attempt == kBusyRetries || !sharing_conflict(::GetLastError())) return failure();
    ::Sleep(kBusyRetryMilliseconds);
  }
}

FsStatus OsFileSystem::rename_new(DirHandle dir, const char* from, const char* to) {
  WidePath wide_from, wide_to;
  if (!widen_at(dir, from, wide_from) || !widen_at(dir, to, wide_to)) return bad_name();
  for (int attempt = 0;; ++attempt) {
    if (::MoveFileExW(wide_from, wide_to, MOVEFILE_WRITE_THROUGH)) return {};
    const DWORD error = ::GetLastError();
    if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return failure(Fault::exists);
    if (attempt == kBusyRetries || !sharing_conflict(error)) return failure();
    ::Sleep(kBusyRetryMilliseconds);
  }
}

FsStatus OsFileSystem::link(DirHandle dir, const char* existing, const char* name) {
  WidePath wide_existing, wide_name;
  if (!widen_at(dir, existing, wide_existing) || !widen_at(dir, name, wide_name)) return bad_name();
  if (::CreateHardLinkW(wide_name, wide_existing, nullptr)) return {};
  const DWORD error = ::GetLastError();
  if (error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS) return failure(Fault::exists);
  // FAT and exFAT have no hard links.
  const bool impossible = error == ERROR_INVALID_FUNCTION || error == ERROR_NOT_SUPPORTED ||
                          error == ERROR_TOO_MANY_LINKS || error == ERROR_ACCESS_DENIED;
  return failure(impossible ? Fault::unsupported : Fault::other);
}

FsStatus OsFileSystem::remove(DirHandle dir, const char* name) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  for (int attempt = 0;; ++attempt) {
    if (::DeleteFileW(wide)) return {};
    if (attempt == kBusyRetries || !sharing_conflict(::GetLastError())) return failure();
    ::Sleep(kBusyRetryMilliseconds);
  }
}

// MOVEFILE_WRITE_THROUGH has made each rename durable; a directory cannot be flushed here.
FsStatus OsFileSystem::sync_directory(DirHandle) {
  return {};
}

// NTFS logs the changes of names in order, and each rename here is written through before it
// returns.
bool OsFileSystem::keeps_name_order(DirHandle) {
  return true;
}

// The lock is a named mutex of the system, named after the file's full path: a handle on the file
// itself would keep it from being replaced (Windows replaces no file that is open). The system
// releases a mutex whose owner ends, and it leaves no file.
FsStatus OsFileSystem::lock(DirHandle dir, const char* name, FileHandle& lock, FileId& locked) {
  WidePath wide;
  if (!widen_at(dir, name, wide)) return bad_name();
  const HANDLE file = open_itself(wide, FILE_READ_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return failure(Fault::absent);
  WidePath full;
  const DWORD length = ::GetFinalPathNameByHandleW(file, full, kMaxPath, FILE_NAME_NORMALIZED);
  locked = facts_of(file).id;
  ::CloseHandle(file);
  if (length == 0 || length >= kMaxPath) return failure();
  // File names are compared without regard to case; a mutex name has no backslash and at most
  // MAX_PATH characters: the name carries a hash of the path.
  ::CharUpperBuffW(full, length);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (DWORD i = 0; i < length; ++i) hash = (hash ^ full[i]) * 1099511628211ull;
  wchar_t mutex_name[64] = L"Global\\datlift-lock-";
  std::size_t at = std::wcslen(mutex_name);
  for (int shift = 60; shift >= 0; shift -= 4)
    mutex_name[at++] = L"0123456789abcdef"[(hash >> shift) & 0xF];
  mutex_name[at] = 0;
  const HANDLE mutex = ::CreateMutexW(nullptr, FALSE, mutex_name);
  if (mutex == nullptr) return failure();
  const DWORD waited = ::WaitForSingleObject(mutex, 0);
  // Abandoned: its owner ended without releasing it, and the files are whole all the same.
  if (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED) {
    lock = file_of(mutex);
    return {};
  }
  const FsStatus status =
      waited == WAIT_TIMEOUT ? FsStatus{Fault::busy, ERROR_LOCK_VIOLATION, nullptr} : failure();
  ::CloseHandle(mutex);
  return status;
}

void OsFileSystem::unlock(FileHandle lock) {
  ::ReleaseMutex(handle_of(lock));
  ::CloseHandle(handle_of(lock));
}

void OsEnvironment::wait_milliseconds(int ms) {
  ::Sleep(static_cast<DWORD>(ms));
}

unsigned long OsEnvironment::process_id() {
  return ::GetCurrentProcessId();
}

void OsEnvironment::hold_signals() {
  g_held.store(true);
}

void OsEnvironment::release_signals() {
  g_held.store(false);
  if (g_released != nullptr) ::SetEvent(g_released);
  // Ctrl-C or Ctrl-Break came meanwhile: end as it would have, with the code of an interrupt.
  const DWORD pending = g_pending.load();
  if (pending == CTRL_C_EVENT + 1 || pending == CTRL_BREAK_EVENT + 1)
    ::ExitProcess(STATUS_CONTROL_C_EXIT);
}

const char* OsFileSystem::describe(int code) {
  const DWORD n = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, static_cast<DWORD>(code), 0, scratch_,
                                   static_cast<DWORD>(kScratchSize), nullptr);
  if (n == 0) {
    // No text for it here: the number, as the system's documentation lists it.
    Path number;
    number.assign("system error ");
    number.append_number(static_cast<unsigned long>(code));
    std::memcpy(scratch_, number.text, number.size + 1);
    return scratch_;
  }
  // One line: the system's text ends in a period and CR LF.
  std::size_t end = n;
  while (end > 0 && (scratch_[end - 1] == '\n' || scratch_[end - 1] == '\r' ||
                     scratch_[end - 1] == ' ' || scratch_[end - 1] == '.'))
    --end;
  scratch_[end] = 0;
  return scratch_;
}

bool OsEnvironment::errors_to_terminal() {
  DWORD mode = 0;
  return ::GetConsoleMode(::GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace datlift
