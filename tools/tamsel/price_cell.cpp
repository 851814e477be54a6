// SPDX-License-Identifier: MIT
#include "price_cell.hpp"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>

#include "column_name.hpp"

namespace tamsel::cli {

namespace {

bool isMissingWord(std::string_view text) {
  return text.empty() || EqualsIgnoringCase(text, "null") || EqualsIgnoringCase(text, "nan") ||
         EqualsIgnoringCase(text, "na") || EqualsIgnoringCase(text, "n/a");
}

// from_chars reports both overflow and underflow as out of range.  strtof
// (the tool never changes the C locale, so '.' is the decimal point) rounds
// an underflowing decimal correctly to a subnormal or zero; an overflowing
// one is kept as the double it is (or the largest double, past even that),
// never as an infinity, which is another kind of price.
double resolveOutOfRange(std::string_view text) {
  const std::string copy(text);
  const float rounded = std::strtof(copy.c_str(), nullptr);
  if (!std::isinf(rounded)) return rounded;
  const double wide = std::strtod(copy.c_str(), nullptr);
  if (!std::isinf(wide)) return wide;
  return std::copysign(std::numeric_limits<double>::max(), wide);
}

}  // namespace

bool parsePriceCell(std::string_view text, bool decimalCommaAllowed, double& value, bool& usedComma) {
  text = TrimBlanks(text);
  if (isMissingWord(text)) {
    value = std::numeric_limits<double>::quiet_NaN();
    return true;
  }
  if (text.starts_with('+')) {
    text.remove_prefix(1);
    if (text.empty() || text.front() == '-') return false;
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
  // Rounded straight to a float: through a double first, a decimal halfway
  // between two floats could round twice and land on the wrong one.
  float rounded = 0.0f;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, rounded, std::chars_format::general);
  if (ptr != end) return false;
  if (ec == std::errc::result_out_of_range) {
    value = resolveOutOfRange(text);
    return true;
  }
  if (ec != std::errc() || std::isnan(rounded)) return false;  // "nan(...)" forms are no missing word
  value = rounded;                                             // an infinity for "inf" and "infinity"
  return true;
}

}  // namespace tamsel::cli
