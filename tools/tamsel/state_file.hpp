// SPDX-License-Identifier: MIT
// The --state file on disk: read at the start of a run, replaced at the end
// of a successful one through the same careful output path as -o (a
// temporary beside it, synced, renamed), so it is never half-written and a
// failed run leaves it as it was.
#ifndef TAMSEL_TOOLS_STATE_FILE_HPP
#define TAMSEL_TOOLS_STATE_FILE_HPP

#include <string>

#include "convert.hpp"

namespace tamsel::cli {

// The series as the file at path leaves it, or a first run's (nothing yet)
// when there is no file of that name.  Throws Failure: CannotRead for a file
// that cannot be read, BadState for one that is not an intact state file.
Continuation loadState(const std::string& path);

// Throws Failure(CannotWrite).
void saveState(const Continuation& continuation);

}  // namespace tamsel::cli

#endif
