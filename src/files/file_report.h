// SPDX-License-Identifier: MIT
// The explanations of the file layer on standard error, one whole line each:
// "datlift: <file>: <step>: <system error>". The console escapes the bytes of names that a
// terminal would act on.
#pragma once

#include "common/console.h"
#include "files/file_system.h"

namespace datlift {

// A name that another program changed between the run's looks at it.
constexpr char kChangedBehindTheRun[] =
    "changed by another program while the run worked; left as it is";

// What to do with a name that holds an old file after the run.
enum class Advice {
  restore,          // rename it back: the run could not
  delete_it,        // no longer needed
  delete_by_owner,  // no longer needed, but this user may not delete it
};

class FileReport {
 public:
  FileReport(FileSystem& fs, Console& errors) : fs_(fs), errors_(errors) {}

  // A failed call: the step it made, or the part of a compound primitive that failed.
  void failed(const char* file, const char* step, FsStatus status) {
    text(file, status.step != nullptr ? status.step : step,
         status.fault == Fault::changed ? kChangedBehindTheRun : fs_.describe(status.code));
  }
  void text(const char* file, const char* step, const char* text) {
    errors_.print("datlift: %s: %s: %s\n", file, step, text);
  }
  // Where the old content of `name` lies when it could not be put back, or after success.
  void old_content(const char* where, const char* name, Advice advice) {
    switch (advice) {
      case Advice::restore:
        errors_.print("datlift: %s: holds the old %s: rename it to %s to restore it\n", where, name,
                      name);
        return;
      case Advice::delete_it:
        errors_.print("datlift: %s: holds the old %s: it may be deleted\n", where, name);
        return;
      case Advice::delete_by_owner:
        errors_.print(
            "datlift: %s: holds the old %s: it may be deleted, by the owner of the file or of "
            "the directory\n",
            where, name);
        return;
    }
  }
  // Where a new file could not be removed that stands where nothing stood before.
  void no_old_content(const char* where, const char* name) {
    errors_.print("datlift: %s: there was no %s before: delete %s to restore it\n", where, name,
                  name);
  }
  // A failed call that the run goes on without: what it does instead.
  void going_on(const char* file, const char* step, FsStatus status, const char* instead) {
    errors_.print("datlift: %s: %s: %s; %s\n", file, step, fs_.describe(status.code), instead);
  }

 private:
  FileSystem& fs_;
  Console& errors_;
};

}  // namespace datlift
