// SPDX-License-Identifier: MIT
// The command line's arguments as UTF-8 text, whatever the system hands main.
//
// On POSIX systems argv is already the bytes the user typed.  On Windows
// main's argv is in the ANSI code page, where a name such as "données.csv"
// may turn into '?'s; the arguments are taken again from the wide-character
// command line (GetCommandLineW) and converted to UTF-8.
#ifndef TAMSEL_TOOLS_COMMAND_LINE_ARGUMENTS_HPP
#define TAMSEL_TOOLS_COMMAND_LINE_ARGUMENTS_HPP

#include <string>
#include <vector>

namespace tamsel::cli {

std::vector<std::string> commandLineArguments(int argc, char** argv);

}  // namespace tamsel::cli

#endif
