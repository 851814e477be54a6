// SPDX-License-Identifier: MIT
// What a stream holds between pushes: the all-in-one state and what the
// missing-price policy remembers.  Plain data, so a clone is a copy.
#pragma once

#include <cstdint>

#include "TamselCharts.h"
#include "all_indicators.hpp"
#include "float_environment_guard.hpp"
#include "missing_price_policy.hpp"

struct TamselChart_Stream {
  tamsel::AllIndicators indicators;
  tamsel::MissingPriceMemory missing;
};

namespace tamsel {

// The floats a stream's policy takes from a bar's prices (for a checked
// push or peek, and for each member of a set), or 0 with the problem filled
// in: the bar it would have been and the refused price.  problem may be
// NULL, and is zeroed when both prices are taken.
inline int TakeBar(const TamselChart_Stream& stream, double high, double low, float* highTaken, float* lowTaken,
                   TamselChart_PriceProblem* problem) {
  if (problem != nullptr) *problem = TamselChart_PriceProblem{};
  high = AfterEnvironmentSwitch(high);
  low = AfterEnvironmentSwitch(low);
  int column = 0;
  const int kind = stream.missing.Take(high, low, highTaken, lowTaken, &column);
  if (kind == TAMSELCHART_PRICE_OK) return 1;
  if (problem != nullptr) {
    const std::int32_t bar = stream.indicators.engine.BarNumber();
    *problem = {kind, bar < INT32_MAX ? bar + 1 : bar, column, column == TAMSELCHART_COLUMN_HIGH ? high : low};
  }
  return 0;
}

}  // namespace tamsel
