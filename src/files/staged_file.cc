// SPDX-License-Identifier: MIT
#include "files/staged_file.h"

namespace datlift {
namespace {

// Names tried per file; a name is taken only by a killed run's left-over (or planted by another).
constexpr unsigned long kNameAttempts = 100;

constexpr char kOtherFile[] = "another file stands under this name; left as it is";

enum class Holding { ours, nothing, other, unknown };

// Which file stands under `name` in `dir`, by identity, a link taken as itself; `status` says
// why where that is unknown.
Holding holding(FileSystem& fs, DirHandle dir, const char* name, const FileId& id,
                FsStatus& status) {
  FileFacts facts;
  status = fs.look(dir, name, facts);
  if (!status.ok()) return Holding::unknown;
  if (!facts.exists) return Holding::nothing;
  return facts.id == id ? Holding::ours : Holding::other;
}

// Whether `name` is the file `id` (false where nothing, another file or a link is there).
bool holds(FileSystem& fs, DirHandle dir, const char* name, const FileId& id) {
  FsStatus ignored;
  return holding(fs, dir, name, id, ignored) == Holding::ours;
}

// Whether the file `id` is known to be no longer under `name` (after a removal that reported
// failure).
bool gone(FileSystem& fs, DirHandle dir, const char* name, const FileId& id) {
  FsStatus ignored;
  const Holding h = holding(fs, dir, name, id, ignored);
  return h == Holding::nothing || h == Holding::other;
}

// A name beside `target` for a file of this run: ".<name>.<pid>-<attempt>.<kind>".
bool leftover_name(const Path& target, const char* name, unsigned long pid, unsigned long attempt,
                   const char* kind, Path& out) {
  return out.assign_directory_of(target.c_str()) && out.append(kSeparator) && out.append(".") &&
         out.append(name) && out.append(".") && out.append_number(pid) && out.append("-") &&
         out.append_number(attempt) && out.append(".") && out.append(kind);
}

// Makes a file of this run under the first free one of its names beside `target`: `make` tries
// one name (its own, in the target's directory) and must never take a name that exists; a name
// that is taken moves it on to the next. `out` is the name tried last, `st` what `make` gave
// there. False, with a line on standard error, where no name fits or every one is taken.
template <typename Make>
bool under_free_name(FileReport& report, const char* step, const Path& target, const char* name,
                     unsigned long pid, const char* kind, Path& out, FsStatus& st, Make make) {
  for (unsigned long attempt = 0; attempt < kNameAttempts; ++attempt) {
    if (!leftover_name(target, name, pid, attempt, kind, out)) {
      report.text(target.c_str(), step, "path too long");
      return false;
    }
    st = make(base_name(out.c_str()));
    if (st.fault != Fault::exists) return true;
  }
  report.text(out.c_str(), step, "taken, as is every name before it that this run may use");
  return false;
}

// Reports why `name` does not hold what the run left there.
void report_holding(FileReport& report, const char* path, const char* step, Holding h,
                    const FsStatus& st) {
  if (h == Holding::unknown)
    report.failed(path, "look", st);
  else
    report.text(path, step, kChangedBehindTheRun);
}

}  // namespace

bool StagedFile::prepare() {
  FileFacts now;
  if (const FsStatus st = fs_.look(place_.dir(), place_.name(), now); !st.ok()) {
    report_.failed(target().c_str(), "look", st);
    return false;
  }
  if (now.exists != old_.exists || now.id != old_.id) {
    report_.text(target().c_str(), "look", kChangedBehindTheRun);
    return false;
  }
  if (!old_.exists) return true;
  if (!old_.regular) {
    report_.text(target().c_str(), "resolve", "not a regular file");
    return false;
  }
  if (const FsStatus w = fs_.check_writable(place_.dir(), place_.name()); !w.ok()) {
    report_.failed(target().c_str(), "open for writing", w);
    return false;
  }
  return true;
}

// Under the first free temporary name; never opens a file that exists.
bool StagedFile::stage(std::span<const ConstBytes> content) {
  FileHandle file = kNoFile;
  FsStatus st;
  if (!under_free_name(
          report_, "create", target(), name_, pid_, "tmp", temp_, st,
          [&](const char* temp) { return fs_.create_new(place_.dir(), temp, file, made_); }))
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
  if (st.ok() && old_.exists) {
    step = "keep metadata";
    st = fs_.copy_metadata(place_.dir(), place_.name(), old_.id, file);
  } else if (st.ok()) {
    step = "access";
    st = fs_.set_new_file_access(place_.dir(), file);
  }
  if (st.ok()) {
    step = "sync";
    st = fs_.sync(file);
  }
  if (const FsStatus closed = fs_.close(file); st.ok() && !closed.ok()) {
    step = "close";
    st = closed;
  }
  if (st.ok()) return true;
  report_.failed(st.fault == Fault::changed ? target().c_str() : temp_.c_str(), step, st);
  return false;
}

// Only while the name holds the old file (or nothing, once it was set aside) and the temporary
// name the new one, looked at last: the rename then puts this run's file in place of the file
// the run read.
bool StagedFile::place() {
  const char* temp = base_name(temp_.c_str());
  FsStatus st;
  if (const Holding h = holding(fs_, place_.dir(), place_.name(), old_.id, st);
      h == Holding::unknown || h == Holding::other) {
    report_holding(report_, target().c_str(), "rename", h, st);
    return false;
  }
  if (const Holding h = holding(fs_, place_.dir(), temp, made_, st); h != Holding::ours) {
    report_holding(report_, temp_.c_str(), "rename", h, st);
    return false;
  }
  st = fs_.rename(place_.dir(), temp, place_.name());
  // A rename that took effect though it reported an error is done.
  if (!st.ok() && !holds(fs_, place_.dir(), place_.name(), made_)) {
    report_.failed(temp_.c_str(), "rename", st);
    return false;
  }
  state_ = State::placed;
  return true;
}

void StagedFile::discard() {
  if (state_ != State::staged) return;
  state_ = State::empty;
  const char* temp = base_name(temp_.c_str());
  FsStatus st;
  switch (holding(fs_, place_.dir(), temp, made_, st)) {
    case Holding::nothing:
      return;
    case Holding::other:
      report_.text(temp_.c_str(), "remove", kOtherFile);
      return;
    case Holding::unknown:
      report_.failed(temp_.c_str(), "look", st);
      return;
    case Holding::ours:
      break;
  }
  st = fs_.remove(place_.dir(), temp);
  if (!st.ok() && !gone(fs_, place_.dir(), temp, made_))
    report_.failed(temp_.c_str(), "remove", st);
}

bool KeptOriginal::keep(const StagedFile& file) {
  file_ = &file;
  if (!file.old().exists) return mark_none();
  kept_id_ = file.old().id;
  return link();
}

// A second name for the old file, made by this run: the file it names must then be the one read.
bool KeptOriginal::link() {
  const Place& at = file_->where();
  FsStatus st;
  if (!under_free_name(report_, "link", at.path(), file_->name(), pid_, "old", kept_, st,
                       [&](const char* kept) { return fs_.link(at.dir(), at.name(), kept); }))
    return false;
  if (st.fault == Fault::unsupported) return set_aside();
  const char* kept = base_name(kept_.c_str());
  FsStatus looked;
  const Holding h = holding(fs_, at.dir(), kept, kept_id_, looked);
  // Also where the link reported failure and took effect all the same; where it cannot be told,
  // the name (if made) is this run's, and restore() finds out what it holds.
  if (h == Holding::ours || (st.ok() && h == Holding::unknown)) {
    how_ = How::linked;
    state_ = State::kept;
    if (h == Holding::ours) return true;
    report_.failed(kept_.c_str(), "look", looked);
    return false;
  }
  if (!st.ok()) {
    report_.failed(kept_.c_str(), "link", st);
    return false;
  }
  // Made by this run, and then another file under it: the name, or the keeping name, changed
  // behind the run's back. Whose that file is cannot be told: it stays.
  report_.text(kept_.c_str(), "link", kChangedBehindTheRun);
  return false;
}

// No second name possible: the old file itself goes to the keeping name. What was moved is
// looked at afterwards, and goes back where it is another file than the one read.
bool KeptOriginal::set_aside() {
  const Place& at = file_->where();
  FsStatus st;
  if (!under_free_name(report_, "rename", at.path(), file_->name(), pid_, "old", kept_, st,
                       [&](const char* kept) { return fs_.rename_new(at.dir(), at.name(), kept); }))
    return false;
  const char* kept = base_name(kept_.c_str());
  FsStatus looked;
  const Holding h = holding(fs_, at.dir(), kept, kept_id_, looked);
  if (h == Holding::ours || (st.ok() && h == Holding::unknown)) {
    how_ = How::set_aside;
    state_ = State::kept;
    if (h == Holding::ours) return true;
    report_.failed(kept_.c_str(), "look", looked);
    return false;
  }
  if (!st.ok()) {
    report_.failed(kept_.c_str(), "rename", st);
    return false;
  }
  // What was moved is not the file read: it goes back to where it stood.
  report_.text(at.path().c_str(), "rename", kChangedBehindTheRun);
  if (h == Holding::other && !fs_.rename_new(at.dir(), kept, at.name()).ok())
    report_.text(kept_.c_str(), "put back", "holds what stood under the name; left as it is");
  return false;
}

// Nothing stood under the name: an empty file says so, for as long as the new one may have to go.
bool KeptOriginal::mark_none() {
  const Place& at = file_->where();
  FileHandle mark = kNoFile;
  FsStatus st;
  if (!under_free_name(
          report_, "create", at.path(), file_->name(), pid_, "none", kept_, st,
          [&](const char* none) { return fs_.create_new(at.dir(), none, mark, kept_id_); }))
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
  if (how_ == How::marked) return restore_nothing();
  const Place& at = file_->where();
  const char* target = at.path().c_str();
  const char* kept = base_name(kept_.c_str());
  // The old file under its name still (a second name kept it): only that name goes.
  if (how_ == How::linked && holds(fs_, at.dir(), at.name(), kept_id_)) {
    remove_keeping_name();
    state_ = State::untouched;
    return;
  }
  // Put back over this run's new file or nothing only: what another program put under the name
  // meanwhile stays, and the old file waits under the keeping name.
  FsStatus st;
  if (const Holding h = holding(fs_, at.dir(), at.name(), file_->made(), st);
      h == Holding::other || h == Holding::unknown) {
    report_holding(report_, target, "put back", h, st);
    report_.old_content(kept_.c_str(), target, Advice::restore);
    return;
  }
  // Put back from the keeping name, only while it holds the old file.
  if (const Holding h = holding(fs_, at.dir(), kept, kept_id_, st); h != Holding::ours) {
    report_holding(report_, kept_.c_str(), "put back", h, st);
    if (h == Holding::unknown) report_.old_content(kept_.c_str(), target, Advice::restore);
    return;
  }
  st = fs_.rename(at.dir(), kept, at.name());
  if (!st.ok() && !holds(fs_, at.dir(), at.name(), kept_id_)) {
    report_.failed(target, "put back", st);
    report_.old_content(kept_.c_str(), target, Advice::restore);
    return;
  }
  // A rename onto another name of the same file does nothing (POSIX): that name goes too.
  if (how_ == How::linked) remove_keeping_name();
  state_ = State::untouched;
}

// There was nothing: the new file goes, where it was placed; the mark once it has gone.
void KeptOriginal::restore_nothing() {
  const Place& at = file_->where();
  const char* target = at.path().c_str();
  FsStatus st;
  bool removed = true;
  const Holding h = holding(fs_, at.dir(), at.name(), file_->made(), st);
  if (h == Holding::unknown) {
    report_.failed(target, "look", st);
    removed = false;
  } else if (h == Holding::ours) {
    st = fs_.remove(at.dir(), at.name());
    if (!st.ok() && !gone(fs_, at.dir(), at.name(), file_->made())) {
      report_.failed(target, "remove", st);
      removed = false;
    }
  }
  if (!removed) {
    report_.no_old_content(kept_.c_str(), target);
    return;
  }
  remove_keeping_name();
  state_ = State::untouched;
}

void KeptOriginal::release() {
  if (state_ != State::kept) return;
  remove_keeping_name();
  state_ = State::released;
}

// The keeping name goes, once it is known to hold what it was made for.
void KeptOriginal::remove_keeping_name() {
  const Place& at = file_->where();
  const char* kept = base_name(kept_.c_str());
  FsStatus st;
  switch (holding(fs_, at.dir(), kept, kept_id_, st)) {
    case Holding::nothing:
      return;
    case Holding::other:
      report_.text(kept_.c_str(), "remove", kOtherFile);
      return;
    case Holding::unknown:
      report_.failed(kept_.c_str(), "look", st);
      break;
    case Holding::ours:
      st = fs_.remove(at.dir(), kept);
      if (st.ok() || gone(fs_, at.dir(), kept, kept_id_)) return;
      report_.failed(kept_.c_str(), "remove", st);
      break;
  }
  if (how_ != How::marked)
    report_.old_content(kept_.c_str(), at.path().c_str(),
                        st.fault == Fault::denied ? Advice::delete_by_owner : Advice::delete_it);
}

}  // namespace datlift
