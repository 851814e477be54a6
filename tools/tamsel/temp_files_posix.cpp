// SPDX-License-Identifier: MIT
#include "temp_files_posix.hpp"

#include <fcntl.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <thread>

namespace tamsel::cli {

namespace {

// The signals whose default action ends the process and that a process can
// catch.  SIGXFSZ and SIGPIPE are here for a kill from outside; raised by a
// write of this process they stay blocked, and the write reports EFBIG or
// EPIPE instead.
std::vector<int> terminatingSignals() {
  std::vector<int> signals = {SIGHUP,  SIGINT,    SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM,  SIGPIPE,
                              SIGXFSZ, SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGPWR,  SIGSTKFLT};
  for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) signals.push_back(s);
  return signals;
}

}  // namespace

TempFiles& TempFiles::instance() {
  // Leaked on purpose: the signal thread may still use it during exit.
  static TempFiles* const files = new TempFiles;  // NOLINT(cppcoreguidelines-owning-memory)
  return *files;
}

bool TempFiles::ignoredAtStart(int signal) {
  struct sigaction action {};
  return ::sigaction(signal, nullptr, &action) == 0 && action.sa_handler == SIG_IGN;  // NOLINT
}

void TempFiles::watchSignals() {
  sigset_t set;
  sigemptyset(&set);
  for (const int s : terminatingSignals())
    if (!ignoredAtStart(s)) sigaddset(&set, s);
  ::pthread_sigmask(SIG_BLOCK, &set, nullptr);
  std::thread([this, set] { waitForSignals(set); }).detach();
}

void TempFiles::waitForSignals(sigset_t set) {
  for (;;) {
    int signal = 0;
    if (::sigwait(&set, &signal) == 0) dieOf(signal);
  }
}

void TempFiles::dieOf(int signal) {
  // The lock is never released: no worker creates or renames a temporary
  // after this point.
  mutex_.lock();
  for (const Temporary& temporary : temporaries_) ::unlinkat(temporary.directory, temporary.name.c_str(), 0);
  temporaries_.clear();
  struct sigaction action {};
  action.sa_handler = SIG_DFL;  // NOLINT
  ::sigaction(signal, &action, nullptr);
  sigset_t only;
  sigemptyset(&only);
  sigaddset(&only, signal);
  ::raise(signal);  // pending until unblocked below (it may be blocked here)
  // cppcheck-suppress unreachableCode ; raise() returns here while the signal is blocked
  ::pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
  ::_exit(128 + signal);  // a signal whose default action does not end the process
}

int TempFiles::create(int directory, std::string& name) {
  // A short name, so that any output name the directory allows still works.
  constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  const std::lock_guard<std::mutex> lock(mutex_);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = ".tamsel-";
    for (int i = 0; i < 6; ++i) candidate += kLetters[random_() % (sizeof kLetters - 1)];
    const int fd = ::openat(directory, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0 && errno == EEXIST) continue;
    if (fd < 0) return -1;
    temporaries_.push_back({directory, candidate});
    name = candidate;
    return fd;
  }
  errno = EEXIST;
  return -1;
}

int TempFiles::commit(int directory, const std::string& name, const std::string& target) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (::renameat(directory, name.c_str(), directory, target.c_str()) != 0) return errno;
  std::erase(temporaries_, Temporary{directory, name});
  return 0;
}

void TempFiles::discard(int directory, const std::string& name) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ::unlinkat(directory, name.c_str(), 0);
  std::erase(temporaries_, Temporary{directory, name});
}

}  // namespace tamsel::cli
