// SPDX-License-Identifier: MIT
#include "command_line_arguments.hpp"

namespace tamsel::cli {

std::vector<std::string> commandLineArguments(int argc, char** argv) { return {argv, argv + argc}; }

}  // namespace tamsel::cli
