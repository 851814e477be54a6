// SPDX-License-Identifier: MIT
// The high and low cells of each bar, in time order, through the library's
// missing-price policy into the indicators.
#ifndef TAMSEL_TOOLS_PRICE_FEED_HPP
#define TAMSEL_TOOLS_PRICE_FEED_HPP

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "convert.hpp"
#include "row_writer.hpp"
#include "series_state.hpp"

namespace tamsel::cli {

// Whether the policy of the stream, standing where it stands, refuses high
// as its next bar's high price, filling the problem.
bool RefusesHigh(const TamselChart_Stream* stream, double high, TamselChart_PriceProblem& problem);

class PriceFeed {
 public:
  // name is the input's name in messages, highColumn and lowColumn how they
  // name the two columns.
  PriceFeed(Missing policy, const std::string& name, std::string highColumn, std::string lowColumn,
            bool decimalCommaAllowed);

  // The next bar in time order, from the cells of the row on line.  Throws
  // Failure for a cell that is no number or a price the policy refuses,
  // naming the line and the column; a refused bar leaves the feed as it was.
  ComputedBar push(std::string_view highCell, std::string_view lowCell, long line);

  // The same bar for a caller whose own stream (a stream set's member)
  // computes it: read() gives the cells as prices, throwing as push() does
  // for a cell that is no number (but for a high the policy refuses, the
  // bar's first fault: refusedHigh(high, problem) says whether it does, from
  // where the caller's stream stands); then took() records the bar the
  // stream took, or refuse() throws for the price it refused.
  template <typename RefusedHigh>
  std::pair<double, double> read(std::string_view highCell, std::string_view lowCell, long line,
                                 const RefusedHigh& refusedHigh) {
    const double high = read(highCell, line, highColumn_);
    try {
      return {high, read(lowCell, line, lowColumn_)};
    } catch (const Failure&) {
      TamselChart_PriceProblem problem{};
      if (refusedHigh(high, problem)) refuse(problem, highCell, line);
      throw;
    }
  }
  ComputedBar took(double high, double low, const TamselChart_Values& values);
  [[noreturn]] void refuse(const TamselChart_PriceProblem& problem, std::string_view cell, long line) const;

  // Whether the oldest bar's prices were written with a decimal comma, so the
  // indicators are written with one too.
  bool decimalComma() const { return decimalComma_; }

  // Goes on from where a feed of the same policy stopped (stateName names
  // the state file in messages); throws Failure(BadState) for a stream
  // snapshot the library does not load.
  void resume(const SeriesState& state, const std::string& stateName);
  // Where this feed stands: bars, prices, decimal comma and the stream.
  void save(SeriesState& state) const;

 private:
  double read(std::string_view cell, long line, const std::string& column);
  float taken(double price, float previous) const;

  struct StreamDeleter {
    void operator()(TamselChart_Stream* s) const { TamselChart_StreamDestroy(s); }
  };
  std::unique_ptr<TamselChart_Stream, StreamDeleter> stream_;
  Missing policy_;
  const std::string& name_;
  std::string highColumn_, lowColumn_;
  bool decimalCommaAllowed_;
  bool decimalComma_ = false;
  std::uint64_t bars_ = 0;
  float previousHigh_ = 0.0f, previousLow_ = 0.0f;
};

}  // namespace tamsel::cli

#endif
