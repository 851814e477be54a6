// SPDX-License-Identifier: MIT
// How the tool reads a header name or a word in a cell: without regard to
// ASCII case or the blanks around it.  Which header name names a price column
// is the library's rule (TamselChart_ColumnNameMatches), shared with every
// other front end.
#pragma once

#include <string>
#include <string_view>

#include "TamselCharts.h"

namespace tamsel::cli {

// Blanks around a cell are the writer's layout, not part of its text.
inline std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

inline char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

inline std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = AsciiLower(c);
  return lower;
}

inline bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Does the header name name the wanted column (as --high or --low gives it)?
// A header cell may hold NUL bytes, which a C string would cut short: such a
// name names nothing.
inline bool ColumnNameMatches(std::string_view headerName, std::string_view wanted) {
  if (headerName.find('\0') != std::string_view::npos || wanted.find('\0') != std::string_view::npos) return false;
  return TamselChart_ColumnNameMatches(std::string(headerName).c_str(), std::string(wanted).c_str()) == 1;
}

}  // namespace tamsel::cli
