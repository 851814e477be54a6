// SPDX-License-Identifier: MIT
#include "temp_files.hpp"

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
  for (const std::string& path : paths_) ::unlink(path.c_str());
  paths_.clear();
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

int TempFiles::create(const std::string& directory, std::string& path) {
  // A short name, so that any output name the directory allows still works.
  std::string pattern = directory + "/.tamsel-XXXXXX";
  const std::lock_guard<std::mutex> lock(mutex_);
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return -1;
  paths_.push_back(pattern);
  path = pattern;
  return fd;
}

int TempFiles::commit(const std::string& path, const std::string& target) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (::rename(path.c_str(), target.c_str()) != 0) return errno;
  const auto at = std::find(paths_.begin(), paths_.end(), path);
  if (at != paths_.end()) paths_.erase(at);
  return 0;
}

void TempFiles::discard(const std::string& path) {
  const std::lock_guard<std::mutex> lock(mutex_);
  ::unlink(path.c_str());
  const auto at = std::find(paths_.begin(), paths_.end(), path);
  if (at != paths_.end()) paths_.erase(at);
}

}  // namespace tamsel::cli
