// SPDX-License-Identifier: MIT
// A plain per-bar transcription of the four indicators, kept outside the
// library as the yardstick for its tests and benchmarks.
#pragma once

namespace straightforward {

int CyclePeriod(const float* high, const float* low, int count, float* out);
int SignalToNoiseRatio(const float* high, const float* low, int count, float* out);
int SwingPosition(const float* high, const float* low, int count, float* out);
int TrendVigor(const float* high, const float* low, int count, float* out);

// When set, called with every argument the transcription passes to an
// elementary function: 'l' log, 'c' cos, 's' sin, 'p' pow(x, 0.5).  For the
// tests that hold those functions against a reference on exactly the
// arguments the indicators produce; not thread-safe, set it around one call.
using MathObserver = void (*)(char function, double argument);
void ObserveMath(MathObserver observer);

}  // namespace straightforward
