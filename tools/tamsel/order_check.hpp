// SPDX-License-Identifier: MIT
// Refuses rows whose dates run against the order the command line expects,
// before the indicators are computed backwards.
#ifndef TAMSEL_TOOLS_ORDER_CHECK_HPP
#define TAMSEL_TOOLS_ORDER_CHECK_HPP

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "bar_time.hpp"
#include "convert.hpp"

namespace tamsel::cli {

// Only a date column whose values are understood is checked; equal times
// pass.  The first value that is not understood ends the check rather than
// have it guess.
class OrderCheck {
 public:
  OrderCheck(const std::vector<std::string_view>& header, const Options& options, const std::string& name);

  // Throws Failure(OutOfOrder).
  void check(const csv::Record& row);

 private:
  // Compares text with the row before's: <0 older, 0 the same time, >0
  // newer; nothing when either is not understood.
  std::optional<int> compared(const std::string& text);
  [[noreturn]] void refuse(const csv::Record& row, std::string_view text) const;

  BarTime time_;
  Order order_;
  const std::string& name_;
  std::string column_;
  bool checking_;
  bool first_ = true;
  std::optional<BarTime::Instant> previous_;  // the row before's time, when it was read rather than compared as text
  std::string previousText_;
  long previousLine_ = 0;
  std::size_t understood_ = 0;     // dates understood so far
  bool startsDescending_ = false;  // the first two understood dates run newest first
};

}  // namespace tamsel::cli

#endif
