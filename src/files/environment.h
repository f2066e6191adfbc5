// SPDX-License-Identifier: MIT
// What a run needs of its process beside the files: its id (in the names of its temporary files),
// the signals that would end it, a clock to wait on, and whether a person reads its standard
// error. One implementation per operating system (os_posix.cc, os_win32.cc), and one for tests.
#pragma once

namespace datlift {

class Environment {
 public:
  virtual unsigned long process_id() = 0;
  // Every signal (or console event) that would end the process and can be held is held from
  // hold_signals() until release_signals(), which then ends the process as the first of them
  // asks.
  virtual void hold_signals() = 0;
  virtual void release_signals() = 0;
  virtual void wait_milliseconds(int ms) = 0;
  // Whether standard error goes to a terminal, where a person reads it.
  virtual bool errors_to_terminal() = 0;

 protected:
  ~Environment() = default;
};

}  // namespace datlift
