// SPDX-License-Identifier: MIT
#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include "command_line_arguments.hpp"
#include "windows_text.hpp"

namespace tamsel::cli {

std::vector<std::string> commandLineArguments(int argc, char** argv) {
  int count = 0;
  wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (wide == nullptr) return {argv, argv + argc};
  std::vector<std::string> arguments;
  for (int i = 0; i < count; ++i) arguments.push_back(utf8FromWide(wide[i]));
  ::LocalFree(wide);
  return arguments;
}

}  // namespace tamsel::cli
