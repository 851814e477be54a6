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
// 2024/03/01, 2024.03.01, 20240301, each optionally followed by a time of day
// hh:mm[:ss[.fff]]); day- or month-first dates are ambiguous and not checked.
class BarTime {
 public:
  explicit BarTime(const std::vector<std::string_view>& header);

  // The bar's time as a number that grows with time, or nothing when the
  // file has no date column or this row's value is not understood.
  std::optional<std::uint64_t> of(const std::vector<std::string_view>& fields) const;

  bool hasDateColumn() const { return dateColumn_.has_value(); }
  std::size_t dateColumn() const { return *dateColumn_; }

 private:
  std::optional<std::size_t> dateColumn_;
  std::optional<std::size_t> timeColumn_;
};

}  // namespace tamsel::cli

#endif
