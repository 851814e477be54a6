// A plain per-bar transcription of the four indicators, kept outside the
// library as the yardstick for its tests and benchmarks.
#pragma once

namespace straightforward {

int CyclePeriod(const float* high, const float* low, int count, float* out);
int SignalToNoiseRatio(const float* high, const float* low, int count, float* out);
int SwingPosition(const float* high, const float* low, int count, float* out);
int TrendVigor(const float* high, const float* low, int count, float* out);

}  // namespace straightforward
