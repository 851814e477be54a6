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
#ifndef TAMSEL_TOOLS_TEMP_FILES_POSIX_HPP
#define TAMSEL_TOOLS_TEMP_FILES_POSIX_HPP

#include <csignal>
#include <mutex>
#include <random>
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

  // Temporaries are named relative to a descriptor of their directory,
  // opened once: if the directory is moved or renamed during the run, the
  // rename and the clean-up still find the temporary where it is.

  // Creates an empty file with a short name in the directory open as
  // directory and registers it; returns its descriptor (close-on-exec) and
  // sets name, or returns -1 with errno set.
  int create(int directory, std::string& name);

  // Renames a registered temporary to target (a name in the same directory)
  // and forgets it; returns 0 or an errno value (the temporary is then still
  // registered).
  int commit(int directory, const std::string& name, const std::string& target);

  // Removes a registered temporary and forgets it.
  void discard(int directory, const std::string& name);

  // Removes every temporary and ends the process by signal, with its default
  // action (a write that met a closed pipe ends as SIGPIPE would have).
  [[noreturn]] void dieOf(int signal);

  // True when the caller left signal ignored; it then stays ignored.
  static bool ignoredAtStart(int signal);

 private:
  TempFiles() = default;
  void waitForSignals(sigset_t set);

  std::mutex mutex_;
  struct Temporary {
    int directory;
    std::string name;
    bool operator==(const Temporary&) const = default;
  };
  std::vector<Temporary> temporaries_;               // guarded by mutex_
  std::minstd_rand random_{std::random_device{}()};  // the temporaries' names; guarded by mutex_
};

}  // namespace tamsel::cli

#endif
