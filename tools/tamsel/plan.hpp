// SPDX-License-Identifier: MIT
// What a command line asks for, worked out before anything is written: one
// job per input, with the output each goes to.
#ifndef TAMSEL_TOOLS_PLAN_HPP
#define TAMSEL_TOOLS_PLAN_HPP

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "command_line.hpp"
#include "convert.hpp"

namespace tamsel::cli {

struct Job {
  std::string input;       // "-" for standard input
  std::string output;      // empty for standard output
  std::uint64_t size = 0;  // of a regular input file, for the progress line
  Progress progress;
  std::atomic<bool> done{false};
  Status status = Status::Ok;
};

struct Plan {
  std::vector<Job> jobs;
  std::string outputDirectory;  // to create first, for -o DIR/
  unsigned workers = 1;
  // How many inputs one worker converts together, in step, through one
  // stream set (the library then computes their bars side by side); 1: each
  // input alone.
  unsigned inStep = 1;
  Options options;
  std::string state;  // --state FILE, for the one job; empty: none
  bool standardOutputClosed = false;
};

// Throws UsageError for a request that cannot be carried out as asked.
Plan makePlan(const CommandLine& request, bool standardOutputClosed);

}  // namespace tamsel::cli

#endif
