// SPDX-License-Identifier: MIT
// The indicator table every front end reads, and the words and texts of the
// missing-price policy.

#include <cstddef>
#include <cstring>

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

// The part of a column name that names it: blanks and one pair of <> around
// it dropped.
struct ColumnKey {
  const char* text;
  std::size_t size;
};

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
char AsciiLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

ColumnKey Trimmed(const char* text, std::size_t size) {
  while (size > 0 && IsBlank(*text)) ++text, --size;
  while (size > 0 && IsBlank(text[size - 1])) --size;
  return {text, size};
}

ColumnKey KeyOf(const char* name) {
  ColumnKey key = Trimmed(name, std::strlen(name));
  if (key.size >= 2 && key.text[0] == '<' && key.text[key.size - 1] == '>') key = Trimmed(key.text + 1, key.size - 2);
  return key;
}

ColumnKey LastDottedPart(ColumnKey key) {
  for (std::size_t i = key.size; i-- > 0;)
    if (key.text[i] == '.') return Trimmed(key.text + i + 1, key.size - i - 1);
  return key;
}

bool SameKey(ColumnKey a, ColumnKey b) {
  if (a.size != b.size) return false;
  for (std::size_t i = 0; i < a.size; ++i)
    if (AsciiLower(a.text[i]) != AsciiLower(b.text[i])) return false;
  return true;
}

}  // namespace

extern "C" {

int TAMSELCHART_CALL TamselChart_IndicatorCount(void) { return kIndicatorCount; }

const TamselChart_IndicatorInfo* TAMSELCHART_CALL TamselChart_Indicator(int index) {
  return index >= 0 && index < kIndicatorCount ? &kIndicators[index] : nullptr;
}

int TAMSELCHART_CALL TamselChart_ColumnNameMatches(const char* name, const char* wanted) {
  if (name == nullptr || wanted == nullptr) return 0;
  const ColumnKey want = KeyOf(wanted);
  const ColumnKey header = KeyOf(name);
  return SameKey(header, want) || SameKey(LastDottedPart(header), want) ? 1 : 0;
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
