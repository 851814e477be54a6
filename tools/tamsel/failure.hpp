// SPDX-License-Identifier: MIT
// How a conversion fails: an exit status for scripts and a message for people.
#ifndef TAMSEL_TOOLS_FAILURE_HPP
#define TAMSEL_TOOLS_FAILURE_HPP

#include <stdexcept>
#include <string>

namespace tamsel::cli {

// The exit statuses of the tool, one per kind of failure, so that a script
// can tell a bad file from a bad command line.
enum class Status : int {
  Ok = 0,
  Internal = 1,
  Usage = 2,
  CannotRead = 3,
  CannotWrite = 4,
  NoData = 5,
  MissingColumn = 6,
  Malformed = 7,
  NotANumber = 8,
  MissingValue = 9,
  OutOfOrder = 10,
  // A --state file that cannot be continued from: damaged, not a state
  // file, or written under other options or for other columns.
  BadState = 11,
};

class Failure : public std::runtime_error {
 public:
  Failure(Status status, const std::string& message) : std::runtime_error(message), status_(status) {}
  Status status() const noexcept { return status_; }

 private:
  Status status_;
};

}  // namespace tamsel::cli

#endif
