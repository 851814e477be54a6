// SPDX-License-Identifier: MIT
// The time of a bar, read from the date (and time) columns of a CSV file, so
// that rows in the wrong order are caught before they are computed backwards.
#ifndef TAMSEL_TOOLS_BAR_TIME_HPP
#define TAMSEL_TOOLS_BAR_TIME_HPP

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
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
  ~BarTime();

  // The bar's time, or nothing when the file has no date column or this
  // row's value is not understood.
  std::optional<Instant> of(const std::vector<std::string_view>& fields) const { return read(textOf(fields)); }

  // The row's time as written: the date cell, and the time cell after a
  // blank when there is one (empty without a date column).
  std::string textOf(const std::vector<std::string_view>& fields) const;
  // Such a text as an instant, or nothing when it is not understood.
  std::optional<Instant> read(std::string_view text) const;

  bool hasDateColumn() const { return dateColumn_.has_value(); }
  std::size_t dateColumn() const { return *dateColumn_; }

 private:
  std::optional<std::size_t> dateColumn_;
  std::optional<std::size_t> timeColumn_;
  std::unique_ptr<class DateReader> reader_;
};

// Reads the text of a date column as BarTime does: a date with an optional
// time of day and offset.  One reader serves one file: it tries the format
// of the file's last date first and reuses one stream, which is most of the
// cost of reading a date.
class DateReader {
 public:
  DateReader();
  ~DateReader();
  std::optional<BarTime::Instant> read(std::string_view text);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace tamsel::cli

#endif
