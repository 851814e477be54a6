// SPDX-License-Identifier: MIT
// The indicator table every front end reads, and the words and texts of the
// missing-price policy.

#include "../indicators/cycle_period.hpp"
#include "../indicators/signal_to_noise_ratio.hpp"
#include "../indicators/swing_position.hpp"
#include "../indicators/trend_vigor.hpp"
#include "TamselCharts.h"

namespace {

using tamsel::CyclePeriodStage;
using tamsel::SignalToNoiseStage;
using tamsel::SwingPositionStage;
using tamsel::TrendVigorStage;

// In the order of TamselChart_Values.  The warm-up comes from each stage,
// where the start-up rule that causes it is.
constexpr TamselChart_IndicatorInfo kIndicators[] = {
    {"cycle_period", "Cycle period", "TamselChart_CyclePeriod", TamselChart_CyclePeriod, CyclePeriodStage::kWarmupBars,
     0.0f, 30.0f, 0},
    {"signal_to_noise", "Signal-to-noise ratio", "TamselChart_SignalToNoiseRatio", TamselChart_SignalToNoiseRatio,
     SignalToNoiseStage::kWarmupBars, 1.0f, 12.0f, 0},
    {"swing_position", "Swing position", "TamselChart_SwingPosition", TamselChart_SwingPosition,
     SwingPositionStage::kWarmupBars, -5.0f, 5.0f, 1},
    {"trend_vigor", "Trend vigor", "TamselChart_TrendVigor", TamselChart_TrendVigor, TrendVigorStage::kWarmupBars,
     -10.0f, 10.0f, 0},
};
constexpr int kIndicatorCount = static_cast<int>(sizeof kIndicators / sizeof kIndicators[0]);

}  // namespace

extern "C" {

int TAMSELCHART_CALL TamselChart_IndicatorCount(void) { return kIndicatorCount; }

const TamselChart_IndicatorInfo* TAMSELCHART_CALL TamselChart_Indicator(int index) {
  return index >= 0 && index < kIndicatorCount ? &kIndicators[index] : nullptr;
}

const char* TAMSELCHART_CALL TamselChart_MissingPolicyName(int policy) {
  switch (policy) {
    case TAMSELCHART_MISSING_ERROR:
      return "error";
    case TAMSELCHART_MISSING_PREVIOUS:
      return "previous";
    case TAMSELCHART_MISSING_NAN:
      return "nan";
    default:
      return nullptr;
  }
}

const char* TAMSELCHART_CALL TamselChart_PriceProblemText(int kind) {
  switch (kind) {
    case TAMSELCHART_PRICE_OK:
      return "no problem";
    case TAMSELCHART_PRICE_MISSING:
      return "missing price";
    case TAMSELCHART_PRICE_INFINITE:
      return "infinite price";
    case TAMSELCHART_PRICE_OUT_OF_RANGE:
      return "price beyond the range of a 32-bit float (largest about 3.4e38)";
    case TAMSELCHART_PRICE_NO_PREVIOUS:
      return "missing price on the first bar, which has no previous bar to repeat";
    case TAMSELCHART_PRICE_BAD_POLICY:
      return "no such missing-price policy";
    default:
      return "unknown problem";
  }
}

}  // extern "C"
