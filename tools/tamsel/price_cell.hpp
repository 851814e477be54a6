// SPDX-License-Identifier: MIT
// One high or low cell read as the 32-bit float the library works in.
#ifndef TAMSEL_TOOLS_PRICE_CELL_HPP
#define TAMSEL_TOOLS_PRICE_CELL_HPP

#include <string_view>

namespace tamsel::cli {

enum class Cell { Number, Missing, Bad, OutOfRange };

// Reads a price.  Blanks around it and a leading '+' are allowed; so is a
// decimal comma when commas do not separate fields (semicolon- and tab-
// separated files from European locales).  Empty, "null", "nan", "na" and
// "n/a" are Missing; infinities are Bad.
//
// The value is the decimal rounded to the nearest float.  A magnitude above
// the largest float is OutOfRange; one below the smallest normal float is
// kept and rounds, like every other value, to the nearest float: a subnormal
// or (below about 7e-46) zero of the same sign.
Cell parsePriceCell(std::string_view text, bool decimalCommaAllowed, float& value, bool& usedComma);

}  // namespace tamsel::cli

#endif
