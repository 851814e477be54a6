// SPDX-License-Identifier: MIT
// What working out a plan asks of the operating system: whether two names
// are one file, how big an input is, how many files may be open at once and
// how a directory is written.  plan_system_posix.cpp and
// plan_system_windows.cpp answer it.
#ifndef TAMSEL_TOOLS_PLAN_SYSTEM_HPP
#define TAMSEL_TOOLS_PLAN_SYSTEM_HPP

#include <cstdint>
#include <string>

namespace tamsel::cli {

// Whether output names a regular file that is the very file input is ("-":
// standard input), by another name or the same.
bool outputIsInputFile(const std::string& output, const std::string& input);

// The size of a regular file, or 0 for anything else or a name that cannot
// be looked at.
std::uint64_t regularFileSize(const std::string& path);

// How many files may be converted at once, at most wanted, within the
// system's limit on open files (said in a message when it is lower).
unsigned workersWithinDescriptorLimit(unsigned wanted);

// Whether an -o value ends the way a directory is written ('/' everywhere,
// '\' too on Windows).
bool endsInSeparator(const std::string& output);

}  // namespace tamsel::cli

#endif
