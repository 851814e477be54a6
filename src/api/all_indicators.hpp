// One engine feeding all four indicator stages: the state of the all-in-one
// batch pass and of a stream.  Plain data, so a copy is a clone.
#pragma once

#include "../indicators/cycle_period.hpp"
#include "../indicators/signal_to_noise_ratio.hpp"
#include "../indicators/swing_position.hpp"
#include "../indicators/trend_vigor.hpp"
#include "../spectrum/cycle_spectrum.hpp"
#include "TamselCharts.h"

namespace tamsel {

struct AllIndicators {
  CycleSpectrum engine;
  CyclePeriodStage cyclePeriod;
  SignalToNoiseStage signalToNoiseRatio;
  SwingPositionStage swingPosition;
  TrendVigorStage trendVigor;

  TamselChart_Values Step(float high, float low) {
    engine.Step(high, low);
    return {
        static_cast<float>(cyclePeriod.Step(engine, high, low)),
        static_cast<float>(signalToNoiseRatio.Step(engine, high, low)),
        static_cast<float>(swingPosition.Step(engine, high, low)),
        static_cast<float>(trendVigor.Step(engine, high, low)),
    };
  }
};

}  // namespace tamsel
