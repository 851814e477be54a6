// SPDX-License-Identifier: MIT
// One engine feeding all four indicator stages: the state of every batch
// export and of a stream.  Plain data, so a copy is a clone.
#pragma once

#include "../indicators/cycle_period.hpp"
#include "../indicators/signal_to_noise_ratio.hpp"
#include "../indicators/swing_position.hpp"
#include "../indicators/trend_vigor.hpp"
#include "../spectrum/cycle_spectrum.hpp"
#include "TamselCharts.h"

namespace tamsel {

// Where values go, one float of each indicator (a bar's values) or one series
// of each (a batch); a null pointer for an indicator not wanted.
struct IndicatorOutputs {
  float* cyclePeriod;
  float* signalToNoiseRatio;
  float* swingPosition;
  float* trendVigor;
};

struct AllIndicators {
  CycleSpectrum engine;
  CyclePeriodStage cyclePeriod;
  SignalToNoiseStage signalToNoiseRatio;
  SwingPositionStage swingPosition;
  TrendVigorStage trendVigor;

  // The per-bar sequence, the one copy every path runs: the engine step, then
  // each wanted stage in turn, its value rounded to a float and stored.  A
  // stage whose output is not wanted is not run: no stage reads another.
  void Step(float high, float low, const IndicatorOutputs& out) {
    engine.Step(high, low);
    RunStage(cyclePeriod, out.cyclePeriod, high, low);
    RunStage(signalToNoiseRatio, out.signalToNoiseRatio, high, low);
    RunStage(swingPosition, out.swingPosition, high, low);
    RunStage(trendVigor, out.trendVigor, high, low);
  }

  TamselChart_Values Step(float high, float low) {
    TamselChart_Values values{};
    Step(high, low, {&values.CyclePeriod, &values.SignalToNoiseRatio, &values.SwingPosition, &values.TrendVigor});
    return values;
  }

  template <class Visitor>
  constexpr void VisitState(Visitor& visit) {
    engine.VisitState(visit);
    signalToNoiseRatio.VisitState(visit);
    swingPosition.VisitState(visit);
    trendVigor.VisitState(visit);
  }

 private:
  template <class Stage>
  void RunStage(Stage& stage, float* out, float high, float low) {
    if (out != nullptr) *out = static_cast<float>(stage.Step(engine, high, low));
  }
};

}  // namespace tamsel
