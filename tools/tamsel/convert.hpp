// SPDX-License-Identifier: MIT
// One input CSV of bars in, the same CSV with the indicators appended out.
#ifndef TAMSEL_TOOLS_CONVERT_HPP
#define TAMSEL_TOOLS_CONVERT_HPP

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TamselCharts.h"
#include "csv_reader.hpp"

namespace tamsel::cli {

// The exit statuses of the tool, one per kind of failure, so that a script
// can tell a bad file from a bad command line.
enum class Status : int {
  Ok = 0,
  Internal = 1,
  Usage = 2,
  CannotRead = 3,
  CannotWrite = 4,
  NoData = 5,
  MissingColumn = 6,
  Malformed = 7,
  NotANumber = 8,
  MissingValue = 9,
  OutOfOrder = 10,
};

class Failure : public std::runtime_error {
 public:
  Failure(Status status, const std::string& message) : std::runtime_error(message), status_(status) {}
  Status status() const noexcept { return status_; }

 private:
  Status status_;
};

enum class Indicator { CyclePeriod, SignalToNoise, SwingPosition, TrendVigor };
inline constexpr std::string_view kIndicatorNames[] = {"cycle_period", "signal_to_noise", "swing_position",
                                                       "trend_vigor"};

// What to do with an empty, null or NaN high or low cell.
enum class Missing { Error, Previous, NaN };

// The order of the rows in the input.  The indicators are always computed
// oldest bar first; newest-first input is held in memory, computed from its
// last row up, and written back in its own order.
enum class Order { OldestFirst, NewestFirst };

struct Options {
  char delimiter = 0;  // 0: detected from the header
  std::string high = "high";
  std::string low = "low";
  std::vector<Indicator> indicators = {Indicator::CyclePeriod, Indicator::SignalToNoise, Indicator::SwingPosition,
                                       Indicator::TrendVigor};
  Missing missing = Missing::Error;
  Order order = Order::OldestFirst;
  // Instead of the input's columns and the indicators: time, high, low and
  // all four indicators, for a program that wants the numbers.
  bool bars = false;
};

// Where the output goes; write() throws Failure(CannotWrite) on error.
class Sink {
 public:
  virtual ~Sink() = default;
  virtual void write(const char* data, std::size_t size) = 0;
};

// Counters a progress report reads while the conversion runs.
struct Progress {
  std::atomic<std::uint64_t> bytes{0};
  std::atomic<std::uint64_t> rows{0};
};

// One computed bar, as the indicators saw it, for a front end that wants the
// numbers rather than the text (the web page, the chart command).
struct BarRecord {
  std::uint64_t row;          // 0-based data row, in the file's order
  std::string_view time;      // the date cell's text as written (trimmed), or empty when there is no date column
  float high, low;            // the prices the indicators took (after the missing-price policy)
  TamselChart_Values values;  // the four indicators of the bar
};

class BarListener {
 public:
  virtual ~BarListener() = default;
  virtual void bar(const BarRecord& bar) = 0;
};

// Reads the whole input and writes the whole output, a row at a time; name is
// how messages refer to the input.  bars, when given, hears of every bar in
// the file's row order (newest-first files too), each once its row is
// written.  Throws Failure.
void convert(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options,
             Progress* progress = nullptr, BarListener* bars = nullptr);

}  // namespace tamsel::cli

#endif
