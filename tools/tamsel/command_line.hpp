// SPDX-License-Identifier: MIT
// The tool's command line: options in, what was asked for out.
#ifndef TAMSEL_TOOLS_COMMAND_LINE_HPP
#define TAMSEL_TOOLS_COMMAND_LINE_HPP

#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"

namespace tamsel::cli {

inline constexpr unsigned kMaxWorkers = 256;

struct CommandLine {
  std::vector<std::string> inputs;  // "-" for standard input; never empty
  std::string output;               // empty: standard output
  unsigned jobs = 0;                // 0: one per core
  std::string state;                // --state FILE; empty: none
  Options options;
};

// The request, or the exit status when there is nothing to run (--help,
// --version, a bad command line, each already answered on standard output
// or standard error).
struct Parsed {
  std::optional<CommandLine> request;
  int status = 0;
};

Parsed parseCommandLine(int argc, char** argv);

// A command line that parses but makes no sense ("two inputs, one output
// file"): the message is printed with a pointer to --help.
class UsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

int reportUsageError(const std::string& message);

}  // namespace tamsel::cli

#endif
