// SPDX-License-Identifier: MIT
// The four indicators as the library tables them.  Their names, their order
// and their warm-up come from TamselChart_Indicator alone, so the tool cannot
// spell an indicator differently from the library and the other front ends.
#ifndef TAMSEL_TOOLS_INDICATOR_TABLE_HPP
#define TAMSEL_TOOLS_INDICATOR_TABLE_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "TamselCharts.h"

namespace tamsel::cli {

// An indicator's index in the library's table, which is also the order of
// the fields of TamselChart_Values.
using Indicator = int;

inline int IndicatorCount() { return TamselChart_IndicatorCount(); }
inline const TamselChart_IndicatorInfo& IndicatorInfo(Indicator which) { return *TamselChart_Indicator(which); }
inline std::string_view IndicatorColumn(Indicator which) { return IndicatorInfo(which).column; }

inline std::vector<Indicator> AllIndicators() {
  std::vector<Indicator> all(static_cast<std::size_t>(IndicatorCount()));
  for (std::size_t i = 0; i < all.size(); ++i) all[i] = static_cast<Indicator>(i);
  return all;
}

// The indicator whose column name is exactly name.
inline std::optional<Indicator> IndicatorNamed(std::string_view name) {
  for (Indicator which = 0; which < IndicatorCount(); ++which)
    if (IndicatorColumn(which) == name) return which;
  return std::nullopt;
}

// "cycle_period, signal_to_noise, ..." for help texts and messages.
inline std::string IndicatorList(std::string_view separator = ", ") {
  std::string list;
  for (Indicator which = 0; which < IndicatorCount(); ++which) {
    if (which > 0) list += separator;
    list += IndicatorColumn(which);
  }
  return list;
}

// One indicator's value of a bar: the fields of TamselChart_Values lie in the
// table's order.
inline float IndicatorValue(const TamselChart_Values& values, Indicator which) {
  switch (which) {
    case 0:
      return values.CyclePeriod;
    case 1:
      return values.SignalToNoiseRatio;
    case 2:
      return values.SwingPosition;
    default:
      return values.TrendVigor;
  }
}

}  // namespace tamsel::cli

#endif
