// SPDX-License-Identifier: MIT
// The time of a bar, read from the date (and time) columns of a CSV file, so
// that rows in the wrong order are caught before they are computed backwards.
#ifndef TAMSEL_TOOLS_BAR_TIME_HPP
#define TAMSEL_TOOLS_BAR_TIME_HPP

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace tamsel::cli {

// Which columns say when a bar is, found by name: a date column ("date",
// "datetime", "timestamp", "time" when there is no date column...) and,
// beside a date column, a separate "time" column as some trading platforms
// export.  Only dates written year first are understood (2024-03-01,
// 2024/03/01, 2024.03.01, 20240301), each optionally followed, after 'T' or
// blanks, by a time of day (hh:mm[:ss[.fff]], hhmm[ss], or 12-hour with AM or
// PM) and a UTC offset (+02:00, -0500, Z, UTC).  Times with an offset compare
// as the instants they are; times without one compare as written.  Day- or
// month-first dates are ambiguous and not checked.
class BarTime {
 public:
  // Milliseconds since 1970-01-01 00:00 UTC (for a time without an offset,
  // as if it were UTC).
  using Instant = std::int64_t;

  explicit BarTime(const std::vector<std::string_view>& header);

  // The bar's time, or nothing when the file has no date column or this
  // row's value is not understood.
  std::optional<Instant> of(const std::vector<std::string_view>& fields) const;

  bool hasDateColumn() const { return dateColumn_.has_value(); }
  std::size_t dateColumn() const { return *dateColumn_; }

 private:
  std::optional<std::size_t> dateColumn_;
  std::optional<std::size_t> timeColumn_;
  mutable std::size_t lastFormat_ = 0;  // a file keeps one format: tried first
};

// text as a date with an optional time of day and offset, as BarTime reads a
// date column; lastFormat is a hint, updated, of which format to try first.
std::optional<BarTime::Instant> ParseBarTime(std::string_view text, std::size_t& lastFormat);

}  // namespace tamsel::cli

#endif
