// SPDX-License-Identifier: MIT
// File names are UTF-8 strings inside the tool.  std::filesystem::path built
// from a std::string reads it in the ANSI code page on Windows, which would
// mangle any name outside it; these go through char8_t instead, which means
// the same bytes on POSIX systems.
#ifndef TAMSEL_TOOLS_UTF8_PATH_HPP
#define TAMSEL_TOOLS_UTF8_PATH_HPP

#include <filesystem>
#include <string>

namespace tamsel::cli {

inline std::filesystem::path pathFromUtf8(const std::string& name) {
  return std::filesystem::path(std::u8string(name.begin(), name.end()));
}

inline std::string utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace tamsel::cli

#endif
