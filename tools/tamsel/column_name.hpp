// SPDX-License-Identifier: MIT
// How a header name is read when the tool looks a column up by name.
#pragma once

#include <string>
#include <string_view>

namespace tamsel::cli {

// Blanks around a cell are the writer's layout, not part of its text.
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Column names compare without regard to case or surrounding blanks, and
// the <HIGH> style of some trading platforms' exports matches "high".
inline std::string ColumnKey(std::string_view name) {
  name = TrimBlanks(name);
  if (name.size() >= 2 && name.front() == '<' && name.back() == '>') name = TrimBlanks(name.substr(1, name.size() - 2));
  std::string key(name);
  for (char& c : key) c = AsciiLower(c);
  return key;
}

}  // namespace tamsel::cli
