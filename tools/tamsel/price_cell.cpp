// SPDX-License-Identifier: MIT
#include "price_cell.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

namespace tamsel::cli {

namespace {

char asciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (asciiLower(a[i]) != asciiLower(b[i])) return false;
  return true;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// from_chars reports both overflow and underflow as out of range.  strtof
// (the tool never changes the C locale, so '.' is the decimal point) rounds
// an underflowing decimal correctly to a subnormal or zero, and tells the two
// apart by the result.
Cell resolveOutOfRange(std::string_view text, float& value) {
  const std::string copy(text);
  const float rounded = std::strtof(copy.c_str(), nullptr);
  if (std::isinf(rounded)) return Cell::OutOfRange;
  value = rounded;
  return Cell::Number;
}

}  // namespace

Cell parsePriceCell(std::string_view text, bool decimalCommaAllowed, float& value, bool& usedComma) {
  text = trim(text);
  if (text.empty() || equalsIgnoringCase(text, "null") || equalsIgnoringCase(text, "nan") ||
      equalsIgnoringCase(text, "na") || equalsIgnoringCase(text, "n/a"))
    return Cell::Missing;
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return Cell::Bad;
  }
  char local[64];
  if (decimalCommaAllowed && text.size() < sizeof local) {
    const std::size_t comma = text.find(',');
    if (comma != std::string_view::npos && text.find(',', comma + 1) == std::string_view::npos &&
        text.find('.') == std::string_view::npos) {
      std::memcpy(local, text.data(), text.size());
      local[comma] = '.';
      text = std::string_view(local, text.size());
      usedComma = true;
    }
  }
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
  if (ptr != end) return Cell::Bad;
  if (ec == std::errc::result_out_of_range) return resolveOutOfRange(text, value);
  if (ec != std::errc()) return Cell::Bad;
  if (!std::isfinite(value)) return Cell::Bad;  // "inf", "infinity"
  return Cell::Number;
}

}  // namespace tamsel::cli
