// SPDX-License-Identifier: MIT
// One high or low cell read as a price for the library's missing-price
// policy, which decides what may reach the indicators.
#ifndef TAMSEL_TOOLS_PRICE_CELL_HPP
#define TAMSEL_TOOLS_PRICE_CELL_HPP

#include <string_view>

namespace tamsel::cli {

// Reads a price; false when the text is no number at all.  Blanks around it
// and a leading '+' are allowed; so is a decimal comma when commas do not
// separate fields (semicolon- and tab-separated files from European locales).
//
//   - Empty, "null", "nan", "na" and "n/a" (any case) are a missing price:
//     NaN.
//   - "inf" and "infinity" (any case, with a sign) are an infinite price.
//   - A number is rounded to the nearest float, held exactly in the double:
//     below the smallest normal float it becomes a subnormal or (below about
//     7e-46) zero of the same sign.
//   - A finite number beyond the largest float is kept beyond it, so that the
//     policy sees it as out of range and not as infinite.
bool parsePriceCell(std::string_view text, bool decimalCommaAllowed, double& value, bool& usedComma);

}  // namespace tamsel::cli

#endif
