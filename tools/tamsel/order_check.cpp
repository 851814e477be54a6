// SPDX-License-Identifier: MIT
#include "order_check.hpp"

#include <fmt/format.h>

#include "column_name.hpp"
#include "message_text.hpp"

namespace tamsel::cli {

namespace {

// Two times written alike, digit for digit with the same separators at the
// same places and nothing else (no AM/PM, no offset), run in the order of
// their text: fields are written largest first, each as wide in both.  Most
// files write every time alike, and comparing text is far cheaper than
// reading a date.
bool writtenAlike(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const bool digit = a[i] >= '0' && a[i] <= '9';
    if (digit != (b[i] >= '0' && b[i] <= '9')) return false;
    if (!digit && (a[i] != b[i] || std::string_view(" -/.:T").find(a[i]) == std::string_view::npos)) return false;
  }
  return true;
}

}  // namespace

OrderCheck::OrderCheck(const std::vector<std::string_view>& header, const Options& options, const std::string& name)
    : time_(header), order_(options.order), name_(name), checking_(options.checkOrder && time_.hasDateColumn()) {
  if (time_.hasDateColumn())
    column_ = fmt::format("column '{}' (number {})", printable(TrimBlanks(header[time_.dateColumn()])),
                          time_.dateColumn() + 1);
}

std::optional<int> OrderCheck::compared(const std::string& text) {
  if (!first_ && writtenAlike(text, previousText_)) {
    previous_.reset();
    return text.compare(previousText_);
  }
  const auto when = time_.read(text);
  if (!when) return std::nullopt;
  if (first_) {
    previous_ = when;
    return 0;
  }
  if (!previous_) previous_ = time_.read(previousText_);
  if (!previous_) return std::nullopt;
  const int order = *when < *previous_ ? -1 : *when > *previous_ ? 1 : 0;
  previous_ = when;
  return order;
}

void OrderCheck::check(const csv::Record& row) {
  if (!checking_) return;
  const std::string text = time_.textOf(row.fields);
  const auto order = compared(text);
  if (!order) {
    checking_ = false;  // not a date this reader understands: no check rather than a guess
    return;
  }
  if (!first_) {
    if (understood_ == 1) startsDescending_ = *order < 0;
    if ((order_ == Order::OldestFirst && *order < 0) || (order_ == Order::NewestFirst && *order > 0)) refuse(row, text);
  }
  first_ = false;
  ++understood_;
  previousText_ = text;
  previousLine_ = row.line;
}

void OrderCheck::refuse(const csv::Record& row, std::string_view text) const {
  const std::string where = fmt::format("{}:{}: {}", name_, row.line, column_);
  if (order_ == Order::NewestFirst)
    throw Failure(Status::OutOfOrder,
                  fmt::format("{}: '{}' is newer than '{}' on line {}, but --order=newest-first wants every row "
                              "older than the one above it (--no-order-check skips this check)",
                              where, printable(text), printable(previousText_), previousLine_));
  if (startsDescending_)
    throw Failure(Status::OutOfOrder,
                  fmt::format("{}: '{}' is older than '{}' on line {}; the rows must run oldest first, or all "
                              "newest first with --order=newest-first",
                              where, printable(text), printable(previousText_), previousLine_));
  throw Failure(Status::OutOfOrder,
                fmt::format("{}: '{}' is older than '{}' on line {}, though the rows before run oldest first; "
                            "fix the order of these rows, or skip this check with --no-order-check",
                            where, printable(text), printable(previousText_), previousLine_));
}

}  // namespace tamsel::cli
