// SPDX-License-Identifier: MIT
#include "files/staged_file.h"

namespace datlift {
namespace {

// Names tried per file; a name is taken only by a killed run's left-over.
constexpr unsigned long kNameAttempts = 100;

constexpr char kOtherFile[] = "another file stands under this name; left as it is";

enum class Holding { ours, nothing, other, unknown };

// Which file stands under `path`, by identity; `status` says why where that is unknown.
Holding holding(FileSystem& fs, const char* path, const FileId& id, FsStatus& status) {
  Path ignored;
  FileFacts facts;
  status = fs.resolve(path, ignored, facts);
  if (!status.ok()) return Holding::unknown;
  if (!facts.exists) return Holding::nothing;
  return facts.id == id ? Holding::ours : Holding::other;
}

// A name beside `target` for a file of this run: ".<name>.<pid>-<attempt>.<kind>".
bool leftover_name(const Path& target, const char* name, unsigned long pid, unsigned long attempt,
                   const char* kind, Path& out) {
  return out.assign_directory_of(target.c_str()) && out.append(kSeparator) && out.append(".") &&
         out.append(name) && out.append(".") && out.append_number(pid) && out.append("-") &&
         out.append_number(attempt) && out.append(".") && out.append(kind);
}

// Makes a file of this run under the first free one of its names beside `target`: `make` tries
// one name, and a name that is taken (only by a killed run's left-over) moves it on to the next.
// `out` is the name tried last; false, with a line on standard error, where no name fits.
template <typename Make>
bool under_free_name(FileReport& report, const char* step, const Path& target, const char* name,
                     unsigned long pid, const char* kind, Path& out, FsStatus& st, Make make) {
  for (unsigned long attempt = 0; attempt < kNameAttempts; ++attempt) {
    if (!leftover_name(target, name, pid, attempt, kind, out)) {
      report.text(target.c_str(), step, "path too long");
      return false;
    }
    st = make(out.c_str());
    if (st.fault != Fault::exists) break;
  }
  return true;
}

// Whether `path` is the file `id` (false where nothing or another file is there).
bool holds(FileSystem& fs, const char* path, const FileId& id) {
  FsStatus ignored;
  return holding(fs, path, id, ignored) == Holding::ours;
}

// Whether the file `id` is known to be no longer under `path` (after a removal that reported
// failure).
bool gone(FileSystem& fs, const char* path, const FileId& id) {
  FsStatus ignored;
  const Holding h = holding(fs, path, id, ignored);
  return h == Holding::nothing || h == Holding::other;
}

}  // namespace

bool StagedFile::prepare() {
  const FsStatus st = fs_.resolve(name_, target_, old_);
  if (!st.ok()) {
    report_.failed(name_, "resolve", st);
    return false;
  }
  if (!old_.exists) return true;
  if (!old_.regular) {
    report_.text(target_.c_str(), "resolve", "not a regular file");
    return false;
  }
  if (const FsStatus w = fs_.check_writable(target_.c_str()); !w.ok()) {
    report_.failed(target_.c_str(), "open for writing", w);
    return false;
  }
  return true;
}

// Under the first free temporary name; never opens a file that exists.
bool StagedFile::stage(std::span<const ConstBytes> content) {
  FileHandle file = kNoFile;
  FsStatus st;
  if (!under_free_name(report_, "create", target_, name_, pid_, "tmp", temp_, st,
                       [&](const char* temp) { return fs_.create_new(temp, file, made_); }))
    return false;
  if (!st.ok()) {
    report_.failed(temp_.c_str(), "create", st);
    return false;
  }
  state_ = State::staged;
  if (complete(file, content)) return true;
  discard();
  return false;
}

// The content first; then the access and attributes, which a write would clear in part
// (set-user-ID, set-group-ID, capabilities); then durable.
bool StagedFile::complete(FileHandle file, std::span<const ConstBytes> content) {
  const char* step = "write";
  FsStatus st = fs_.write(file, content);
  if (st.ok() && old_.exists) st = fs_.copy_metadata(target_.c_str(), file), step = "keep metadata";
  if (st.ok() && !old_.exists) st = fs_.set_new_file_access(target_.c_str(), file), step = "access";
  if (st.ok()) st = fs_.sync(file), step = "sync";
  if (const FsStatus closed = fs_.close(file); st.ok() && !closed.ok()) st = closed, step = "close";
  if (st.ok()) return true;
  report_.failed(temp_.c_str(), step, st);
  return false;
}

bool StagedFile::place() {
  const FsStatus st = fs_.rename(temp_.c_str(), target_.c_str());
  // A rename that took effect though it reported an error is done.
  if (!st.ok() && !holds(fs_, target_.c_str(), made_)) {
    report_.failed(temp_.c_str(), "rename", st);
    return false;
  }
  state_ = State::placed;
  return true;
}

void StagedFile::discard() {
  if (state_ != State::staged) return;
  state_ = State::empty;
  FsStatus st;
  switch (holding(fs_, temp_.c_str(), made_, st)) {
    case Holding::nothing:
      return;
    case Holding::other:
      report_.text(temp_.c_str(), "remove", kOtherFile);
      return;
    case Holding::unknown:
      report_.failed(temp_.c_str(), "resolve", st);
      return;
    case Holding::ours:
      break;
  }
  st = fs_.remove(temp_.c_str());
  if (!st.ok() && !gone(fs_, temp_.c_str(), made_)) report_.failed(temp_.c_str(), "remove", st);
}

bool KeptOriginal::keep(const StagedFile& file) {
  file_ = &file;
  if (!file.old().exists) return mark_none();
  kept_id_ = file.old().id;
  FsStatus st;
  if (!under_free_name(report_, "link", file.target(), file.name(), pid_, "old", kept_, st,
                       [&](const char* kept) { return fs_.link(file.target().c_str(), kept); }))
    return false;
  if (st.ok() || holds(fs_, kept_.c_str(), kept_id_)) {
    how_ = How::linked;
    state_ = State::kept;
    return true;
  }
  if (st.fault != Fault::unsupported) {
    report_.failed(kept_.c_str(), "link", st);
    return false;
  }
  return set_aside();
}

// No second name possible: the old file itself goes to the keeping name.
bool KeptOriginal::set_aside() {
  const char* target = file_->target().c_str();
  FsStatus st;
  if (!under_free_name(report_, "rename", file_->target(), file_->name(), pid_, "old", kept_, st,
                       [&](const char* kept) { return fs_.rename_new(target, kept); }))
    return false;
  if (st.ok() || holds(fs_, kept_.c_str(), kept_id_)) {
    how_ = How::set_aside;
    state_ = State::kept;
    return true;
  }
  report_.failed(kept_.c_str(), "rename", st);
  return false;
}

// Nothing stood under the name: an empty file says so, for as long as the new one may have to go.
bool KeptOriginal::mark_none() {
  FileHandle mark = kNoFile;
  FsStatus st;
  if (!under_free_name(report_, "create", file_->target(), file_->name(), pid_, "none", kept_, st,
                       [&](const char* none) { return fs_.create_new(none, mark, kept_id_); }))
    return false;
  if (!st.ok()) {
    report_.failed(kept_.c_str(), "create", st);
    return false;
  }
  how_ = How::marked;
  state_ = State::kept;
  if (const FsStatus closed = fs_.close(mark); !closed.ok()) {
    report_.failed(kept_.c_str(), "close", closed);
    restore();
    return false;
  }
  return true;
}

void KeptOriginal::restore() {
  if (state_ != State::kept) return;
  const char* target = file_->target().c_str();
  FsStatus st;
  if (how_ == How::marked) {
    // There was nothing: the new file goes, where it was placed; the mark once it has gone.
    bool removed = true;
    const Holding h = holding(fs_, target, file_->made(), st);
    if (h == Holding::unknown) report_.failed(target, "resolve", st), removed = false;
    if (h == Holding::ours && !(st = fs_.remove(target)).ok() && !gone(fs_, target, file_->made()))
      report_.failed(target, "remove", st), removed = false;
    if (!removed) {
      report_.no_old_content(kept_.c_str(), target);
      return;
    }
    remove_keeping_name();
    state_ = State::untouched;
    return;
  }
  // The old file under its name still (a second name kept it): only that name goes.
  if (how_ == How::linked && holds(fs_, target, kept_id_)) {
    remove_keeping_name();
    state_ = State::untouched;
    return;
  }
  st = fs_.rename(kept_.c_str(), target);
  if (!st.ok() && !holds(fs_, target, kept_id_)) {
    report_.failed(target, "put back", st);
    report_.old_content(kept_.c_str(), target, true);
    return;
  }
  // A rename onto another name of the same file does nothing (POSIX): that name goes too.
  if (how_ == How::linked) remove_keeping_name();
  state_ = State::untouched;
}

void KeptOriginal::release() {
  if (state_ != State::kept) return;
  remove_keeping_name();
  state_ = State::released;
}

// The keeping name goes, once it is known to hold what it was made for.
void KeptOriginal::remove_keeping_name() {
  FsStatus st;
  switch (holding(fs_, kept_.c_str(), kept_id_, st)) {
    case Holding::nothing:
      return;
    case Holding::other:
      report_.text(kept_.c_str(), "remove", kOtherFile);
      return;
    case Holding::unknown:
      report_.failed(kept_.c_str(), "resolve", st);
      break;
    case Holding::ours:
      st = fs_.remove(kept_.c_str());
      if (st.ok() || gone(fs_, kept_.c_str(), kept_id_)) return;
      report_.failed(kept_.c_str(), "remove", st);
      break;
  }
  if (how_ != How::marked) report_.old_content(kept_.c_str(), file_->target().c_str(), false);
}

}  // namespace datlift
