// SPDX-License-Identifier: MIT
// What the user sees on standard error: messages, and a progress line while
// a long run lasts.  Both share the terminal line, so they share one lock.
#ifndef TAMSEL_TOOLS_STANDARD_ERROR_HPP
#define TAMSEL_TOOLS_STANDARD_ERROR_HPP

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "plan.hpp"

namespace tamsel::cli {

// Prints "tamsel: message" on a line of its own, escaped and capped (the
// message may quote any bytes of an input or a file name).
void report(const std::string& message);

// A line on standard error while the work lasts more than a second, when
// standard error is a terminal.
class ProgressLine {
 public:
  explicit ProgressLine(std::vector<Job>& jobs);
  ~ProgressLine();
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

 private:
  void run();

  std::vector<Job>& jobs_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stop_ = false;
};

}  // namespace tamsel::cli

#endif
