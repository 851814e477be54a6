// SPDX-License-Identifier: MIT
// What a stream holds between pushes: the all-in-one state and what the
// missing-price policy remembers.  Plain data, so a clone is a copy.
#pragma once

#include "TamselCharts.h"
#include "all_indicators.hpp"
#include "missing_price_policy.hpp"

struct TamselChart_Stream {
  tamsel::AllIndicators indicators;
  tamsel::MissingPriceMemory missing;
};
