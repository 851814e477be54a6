// SPDX-License-Identifier: MIT
#include "price_feed.hpp"

#include <fmt/format.h>

#include <cmath>
#include <limits>

#include "message_text.hpp"
#include "price_cell.hpp"

namespace tamsel::cli {

namespace {

// What the user can do about a refused price, in the tool's own options.
const char* hint(int kind) {
  switch (kind) {
    case TAMSELCHART_PRICE_MISSING:
      return " (one NaN would freeze the cycle spectrum for the rest of the series; --missing=previous repeats "
             "the previous bar's value, --missing=nan passes NaN through)";
    case TAMSELCHART_PRICE_INFINITE:
      return " (--missing=nan passes it through)";
    case TAMSELCHART_PRICE_OUT_OF_RANGE:
      return " (--missing=nan passes it on as an infinity)";
    case TAMSELCHART_PRICE_NO_PREVIOUS:
      return " (--missing=previous; --missing=nan passes NaN through)";
    default:
      return "";
  }
}

Status statusOf(int kind) {
  switch (kind) {
    case TAMSELCHART_PRICE_MISSING:
    case TAMSELCHART_PRICE_NO_PREVIOUS:
      return Status::MissingValue;
    case TAMSELCHART_PRICE_INFINITE:
    case TAMSELCHART_PRICE_OUT_OF_RANGE:
      return Status::NotANumber;
    default:
      return Status::Internal;
  }
}

}  // namespace

bool RefusesHigh(const TamselChart_Stream* stream, double high, TamselChart_PriceProblem& problem) {
  TamselChart_Values ignored;
  // Any low the policy takes: only the high is asked about.
  return TamselChart_StreamPeekPrices(stream, high, 1.0, &ignored, &problem) == 0 &&
         problem.column == TAMSELCHART_COLUMN_HIGH;
}

PriceFeed::PriceFeed(Missing policy, const std::string& name, std::string highColumn, std::string lowColumn,
                     bool decimalCommaAllowed)
    : stream_(TamselChart_StreamCreate()),
      policy_(policy),
      name_(name),
      highColumn_(std::move(highColumn)),
      lowColumn_(std::move(lowColumn)),
      decimalCommaAllowed_(decimalCommaAllowed) {
  if (!stream_) throw Failure(Status::Internal, "out of memory");
  if (TamselChart_StreamSetMissingPolicy(stream_.get(), static_cast<int>(policy)) != 1)
    throw Failure(Status::Internal, "the library refuses the missing-price policy");
}

double PriceFeed::read(std::string_view cell, long line, const std::string& column) {
  double price = 0.0;
  bool usedComma = false;
  if (!parsePriceCell(cell, decimalCommaAllowed_, price, usedComma))
    throw Failure(Status::NotANumber,
                  fmt::format("{}:{}: {}: '{}' is not a number", name_, line, column, printable(cell)));
  if (usedComma && bars_ == 0) decimalComma_ = true;
  return price;
}

void PriceFeed::refuse(const TamselChart_PriceProblem& problem, std::string_view cell, long line) const {
  const std::string& column = problem.column == TAMSELCHART_COLUMN_HIGH ? highColumn_ : lowColumn_;
  throw Failure(statusOf(problem.kind),
                fmt::format("{}:{}: {}: {}: '{}'{}", name_, line, column, TamselChart_PriceProblemText(problem.kind),
                            printable(cell), hint(problem.kind)));
}

// The float the indicators took for an accepted price.
float PriceFeed::taken(double price, float previous) const {
  if (std::isnan(price)) return policy_ == Missing::Previous ? previous : std::numeric_limits<float>::quiet_NaN();
  constexpr float infinity = std::numeric_limits<float>::infinity();
  if (std::fabs(price) > std::numeric_limits<float>::max())
    return price > 0 ? infinity : -infinity;  // only under "nan"
  return static_cast<float>(price);           // exact: the cell was read as a float
}

ComputedBar PriceFeed::push(std::string_view highCell, std::string_view lowCell, long line) {
  const auto [high, low] = read(highCell, lowCell, line, [&](double price, TamselChart_PriceProblem& problem) {
    return RefusesHigh(stream_.get(), price, problem);
  });
  TamselChart_Values values{};
  TamselChart_PriceProblem problem{};
  if (TamselChart_StreamPushPrices(stream_.get(), high, low, &values, &problem) == 0)
    refuse(problem, problem.column == TAMSELCHART_COLUMN_HIGH ? highCell : lowCell, line);
  return took(high, low, values);
}

ComputedBar PriceFeed::took(double high, double low, const TamselChart_Values& values) {
  ComputedBar bar{};
  bar.values = values;
  bar.high = previousHigh_ = taken(high, previousHigh_);
  bar.low = previousLow_ = taken(low, previousLow_);
  ++bars_;
  return bar;
}

void PriceFeed::resume(const SeriesState& state, const std::string& stateName) {
  int reason = TAMSELCHART_SNAPSHOT_OK;
  TamselChart_Stream* loaded =
      state.stream.size() > static_cast<std::size_t>(TAMSELCHART_SNAPSHOT_MAX_BYTES)
          ? nullptr
          : TamselChart_StreamLoad(state.stream.data(), static_cast<int>(state.stream.size()), &reason);
  if (loaded == nullptr) {
    if (reason == TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY) throw Failure(Status::Internal, "out of memory");
    throw Failure(Status::BadState, fmt::format("{}: the indicators' saved state is not usable: {}", stateName,
                                                TamselChart_SnapshotProblemText(reason)));
  }
  stream_.reset(loaded);
  // The options matched, so the saved policy is this run's; set anyway, so
  // the feed never runs under a policy other than the one it refuses by.
  if (TamselChart_StreamSetMissingPolicy(stream_.get(), static_cast<int>(policy_)) != 1)
    throw Failure(Status::Internal, "the library refuses the missing-price policy");
  bars_ = state.bars;
  decimalComma_ = state.decimalComma;
  previousHigh_ = state.previousHigh;
  previousLow_ = state.previousLow;
}

void PriceFeed::save(SeriesState& state) const {
  const int size = TamselChart_StreamSave(stream_.get(), nullptr, 0);
  if (size <= 0) throw Failure(Status::Internal, "the library cannot save the indicators' state");
  state.stream.assign(static_cast<std::size_t>(size), 0);
  if (TamselChart_StreamSave(stream_.get(), state.stream.data(), size) != size)
    throw Failure(Status::Internal, "the library cannot save the indicators' state");
  state.bars = bars_;
  state.decimalComma = decimalComma_;
  state.previousHigh = previousHigh_;
  state.previousLow = previousLow_;
}

}  // namespace tamsel::cli
