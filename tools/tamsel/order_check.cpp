// SPDX-License-Identifier: MIT
#include "order_check.hpp"

#include <fmt/format.h>

#include "column_name.hpp"
#include "message_text.hpp"

namespace tamsel::cli {

OrderCheck::OrderCheck(const std::vector<std::string_view>& header, const Options& options, const std::string& name)
    : time_(header), order_(options.order), name_(name), checking_(options.checkOrder && time_.hasDateColumn()) {
  if (time_.hasDateColumn())
    column_ = fmt::format("column '{}' (number {})", printable(TrimBlanks(header[time_.dateColumn()])),
                          time_.dateColumn() + 1);
}

void OrderCheck::check(const csv::Record& row) {
  if (!checking_) return;
  const auto when = time_.of(row.fields);
  if (!when) {
    checking_ = false;
    return;
  }
  const std::string_view text = TrimBlanks(row.fields[time_.dateColumn()]);
  if (previous_) {
    if (understood_ == 1) startsDescending_ = *when < *previous_;
    if ((order_ == Order::OldestFirst && *when < *previous_) || (order_ == Order::NewestFirst && *when > *previous_))
      refuse(row, text);
  }
  ++understood_;
  previous_ = when;
  previousText_.assign(text);
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
