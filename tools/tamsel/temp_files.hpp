// SPDX-License-Identifier: MIT
// The temporary files of the outputs being written, and what happens to them
// when a signal ends the process.
//
// Every catchable signal whose default action ends the process, and that the
// caller has not chosen to ignore, is blocked in every thread and taken by
// one thread that waits for it (sigwait).  That thread removes the
// temporaries, restores the signal's default action and raises it again, so
// the exit status is still the signal's.  Because the waiting thread is an
// ordinary thread, it takes the same lock as the workers: a temporary is
// either not created yet, or created and registered, or renamed and
// forgotten, never half of one.  After a signal no temporary is created or
// renamed any more.
#ifndef TAMSEL_TOOLS_TEMP_FILES_HPP
#define TAMSEL_TOOLS_TEMP_FILES_HPP

#include <csignal>
#include <mutex>
#include <string>
#include <vector>

namespace tamsel::cli {

class TempFiles {
 public:
  // The one registry of the process; it is never destroyed, so the signal
  // thread may use it while the process exits.
  static TempFiles& instance();

  // Blocks the terminating signals that are not ignored, in the calling
  // thread and the threads it starts later, and starts the thread that waits
  // for them.  Call once, before any other thread starts.
  void watchSignals();

  // Creates an empty file with a short name in directory and registers it;
  // returns its descriptor (close-on-exec) and sets path, or returns -1 with
  // errno set.
  int create(const std::string& directory, std::string& path);

  // Renames a registered temporary to target and forgets it; returns 0 or an
  // errno value (the temporary is then still registered).
  int commit(const std::string& path, const std::string& target);

  // Removes a registered temporary and forgets it.
  void discard(const std::string& path);

  // Removes every temporary and ends the process by signal, with its default
  // action (a write that met a closed pipe ends as SIGPIPE would have).
  [[noreturn]] void dieOf(int signal);

  // True when the caller left signal ignored; it then stays ignored.
  static bool ignoredAtStart(int signal);

 private:
  TempFiles() = default;
  void waitForSignals(sigset_t set);

  std::mutex mutex_;
  std::vector<std::string> paths_;  // guarded by mutex_
};

}  // namespace tamsel::cli

#endif
