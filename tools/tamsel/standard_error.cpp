// SPDX-License-Identifier: MIT
#include "standard_error.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <chrono>
#include <cstdio>

#include "message_text.hpp"
#include "standard_descriptors.hpp"

namespace tamsel::cli {

namespace {

std::mutex g_stderrMutex;
bool g_progressShown = false;  // guarded by g_stderrMutex

}  // namespace

void report(const std::string& message) {
  const std::string line = "tamsel: " + printableMessage(message, kMessageLimit) + "\n";
  const std::lock_guard<std::mutex> lock(g_stderrMutex);
  if (g_progressShown) {
    std::fputs("\r\x1b[K", stderr);
    g_progressShown = false;
  }
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

ProgressLine::ProgressLine(std::vector<Job>& jobs) : jobs_(jobs) {
  if (standardErrorIsTerminal()) thread_ = std::thread([this] { run(); });
}

ProgressLine::~ProgressLine() {
  if (!thread_.joinable()) return;
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  thread_.join();
  const std::lock_guard<std::mutex> lock(g_stderrMutex);
  if (g_progressShown) std::fputs("\r\x1b[K", stderr);
  g_progressShown = false;
}

void ProgressLine::run() {
  const auto start = std::chrono::steady_clock::now();
  std::unique_lock<std::mutex> lock(mutex_);
  while (!wake_.wait_for(lock, std::chrono::milliseconds(250), [this] { return stop_; })) {
    if (std::chrono::steady_clock::now() - start < std::chrono::seconds(1)) continue;
    std::uint64_t bytes = 0, total = 0, rows = 0;
    std::size_t done = 0;
    bool sized = true;
    for (const Job& job : jobs_) {
      bytes += job.progress.bytes.load(std::memory_order_relaxed);
      rows += job.progress.rows.load(std::memory_order_relaxed);
      total += job.size;
      if (job.size == 0) sized = false;
      if (job.done.load()) ++done;
    }
    std::string line =
        sized && total > 0 ? fmt::format("{:3}%  ", std::min<std::uint64_t>(100, bytes * 100 / total)) : std::string();
    if (jobs_.size() > 1) line += fmt::format("{} of {} files done  ", done, jobs_.size());
    line += fmt::format("{} rows", rows);
    const std::lock_guard<std::mutex> out(g_stderrMutex);
    std::fprintf(stderr, "\r\x1b[Ktamsel: %s", line.c_str());
    std::fflush(stderr);
    g_progressShown = true;
  }
}

}  // namespace tamsel::cli
