// SPDX-License-Identifier: MIT
// One input CSV of bars in, the same CSV with the indicators appended out.
#ifndef TAMSEL_TOOLS_CONVERT_HPP
#define TAMSEL_TOOLS_CONVERT_HPP

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "TamselCharts.h"
#include "csv_reader.hpp"
#include "failure.hpp"
#include "indicator_table.hpp"
#include "series_state.hpp"

namespace tamsel::cli {

// What to do with a missing (empty, null, NaN), infinite or out-of-range
// price: the library's policy, whose numbers these are.
enum class Missing {
  Error = TAMSELCHART_MISSING_ERROR,
  Previous = TAMSELCHART_MISSING_PREVIOUS,
  NaN = TAMSELCHART_MISSING_NAN
};

// Which values are written as nan because they still reflect the start-up
// state rather than the prices: none, each indicator's own warm-up bars (the
// library's table), or the first bars of every indicator.
struct Warmup {
  enum class Kind { Values, NaN, Bars };
  Kind kind = Kind::Values;
  std::uint64_t bars = 0;  // for Kind::Bars
};

// The order of the rows in the input.  The indicators are always computed
// oldest bar first; newest-first input is held in memory, computed from its
// last row up, and written back in its own order.
enum class Order { OldestFirst, NewestFirst };

struct Options {
  char delimiter = 0;  // 0: detected from the header
  std::string high = "high";
  std::string low = "low";
  std::vector<Indicator> indicators = AllIndicators();
  Missing missing = Missing::Error;
  Order order = Order::OldestFirst;
  bool checkOrder = true;  // refuse rows whose dates run against the order
  Warmup warmup;
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
  TamselChart_Values values;  // the four indicators of the bar, as written (see Options::warmup)
};

class BarListener {
 public:
  virtual ~BarListener() = default;
  virtual void bar(const BarRecord& bar) = 0;
};

// A conversion that continues a series (--state).  Before: where the series
// stood (state.continues() is false for its first part); after a convert()
// that returns, where it stands.  name is how messages refer to the state
// file.
struct Continuation {
  SeriesState state;
  std::string name;
};

// Reads the whole input and writes the whole output, a row at a time; name is
// how messages refer to the input.  bars, when given, hears of every bar in
// the file's row order (newest-first files too), each once its row is
// written.  With continuation, the series goes on from its state: no header
// is written when it continues (the rows are for appending), and an input of
// a header alone adds nothing; options.order must be oldest-first.  Throws
// Failure (Status::BadState for a state that this input or these options
// cannot continue, before anything is written).
void convert(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options,
             Progress* progress = nullptr, BarListener* bars = nullptr, Continuation* continuation = nullptr);

class Conversion;

// One input converted as convert() converts it, a bar at a time, by a caller
// whose own stream computes the bars (a member of a stream set that takes
// several inputs in step): the rows are read, checked and written here, the
// prices go through the caller's stream.  For inputs oldest first, without
// a continuation.  Every call throws Failure as convert() would, the output
// then incomplete.
class SteppedConversion {
 public:
  // Whether the caller's stream refuses the high price as the bar's first
  // fault (the row's low being no number), filling the problem.
  using RefusedHigh = std::function<bool(double high, TamselChart_PriceProblem& problem)>;

  // Reads the header (throwing for one without the columns).
  SteppedConversion(csv::ByteSource& input, const std::string& name, Sink& output, const Options& options,
                    Progress* progress);
  ~SteppedConversion();
  SteppedConversion(const SteppedConversion&) = delete;
  SteppedConversion& operator=(const SteppedConversion&) = delete;

  // The next row's prices, to push through the caller's stream; false after
  // the last row, the output then complete (but for its commit).
  bool nextPrices(double& high, double& low, const RefusedHigh& refusedHigh);
  // Writes that row with the values the stream gave its prices.
  void writeComputed(double high, double low, const TamselChart_Values& values);
  // Throws the failure of a price of that row the stream refused.
  [[noreturn]] void refuse(const TamselChart_PriceProblem& problem) const;

 private:
  std::unique_ptr<csv::Reader> reader_;
  std::unique_ptr<Conversion> conversion_;
};

}  // namespace tamsel::cli

#endif
