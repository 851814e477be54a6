// SPDX-License-Identifier: MIT
// Where a conversion of a series stopped, so that a later run given only the
// rows that came since (--state FILE) continues it as if the whole series
// had been converted at once.
#ifndef TAMSEL_TOOLS_SERIES_STATE_HPP
#define TAMSEL_TOOLS_SERIES_STATE_HPP

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tamsel::cli {

// An option that changes the values or the layout of the output, as the
// command line writes it ("--missing") and its value ("previous"): a
// continuation under other options would mix two kinds of rows in one file.
using StateOption = std::pair<std::string, std::string>;

struct SeriesState {
  std::vector<StateOption> options;
  // The input's header row as written (without a byte-order mark or line
  // ending): the continued input must have the same columns.
  std::string header;
  std::uint64_t bars = 0;  // converted so far; 0: nothing yet, a first run
  // The last bar's time as written (date cell, and time cell after a blank),
  // empty without a date column: rows of a continuation must be newer.
  std::string lastTime;
  // Whether the oldest bar's prices were written with a decimal comma (the
  // indicators are written with one then).
  bool decimalComma = false;
  // The prices the last bar took, which --missing=previous repeats and the
  // --bars table shows.
  float previousHigh = 0.0f, previousLow = 0.0f;
  // The library's stream snapshot (TamselChart_StreamSave).
  std::vector<unsigned char> stream;

  bool continues() const { return bars > 0; }
};

}  // namespace tamsel::cli

#endif
