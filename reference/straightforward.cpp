// SPDX-License-Identifier: MIT
// A deliberately plain, per-bar transcription of the four indicators.
//
// It recomputes every filter coefficient on every bar, keeps every history as
// a shifted array and shares nothing with the library's own code but the
// correctly rounded elementary functions (log, cos, sin, pow(x, 0.5)) that
// the definition itself names.  The tests
// hold the library against it bar for bar, and the benchmarks measure the
// library's speed as a ratio to it.  Keep it slow and literal: its value is
// that every line reads like the definition of the indicator it belongs to.
#include "straightforward.hpp"

#include <cmath>
#include <initializer_list>

#include "spectrum/runtime_math.hpp"

namespace straightforward {
namespace {

constexpr double kLn10 = 2.302585092994046;

MathObserver gObserver = nullptr;

// The definition's elementary functions, correctly rounded, seen by the
// observer when one is set.
double Log(double x) {
  if (gObserver != nullptr) gObserver('l', x);
  return tamsel::math::Log(x);
}
double Cos(double x) {
  if (gObserver != nullptr) gObserver('c', x);
  return tamsel::math::Cos(x);
}
double Sin(double x) {
  if (gObserver != nullptr) gObserver('s', x);
  return tamsel::math::Sin(x);
}
double PowHalf(double x) {
  if (gObserver != nullptr) gObserver('p', x);
  return tamsel::math::PowHalf(x);
}

double WindowMedian(const double* window, int count) {
  bool in[100];
  for (int i = 0; i < 100; ++i) in[i] = false;
  for (int i = 0; i < count; ++i) in[i] = true;
  const bool even = count * 0.5 == static_cast<double>(static_cast<int>(count * 0.5));
  int passes = 0;
  if (count > 2) passes = even ? (count - 2) / 2 : (count - 1) / 2;
  for (int pass = 0; pass < passes; ++pass) {
    int lowest = -1;
    int highest = -1;
    for (int i = 0; i < count; ++i) {
      if (!in[i]) continue;
      if (lowest < 0) {
        lowest = i;
        highest = i;
        continue;
      }
      if (!(window[i] >= window[lowest])) lowest = i;
      if (window[i] >= window[highest]) highest = i;
    }
    in[lowest] = false;
    in[highest] = false;
  }
  double sum = 0.0;
  for (int i = 0; i < count; ++i)
    if (in[i]) sum = sum + window[i];
  return even ? sum * 0.5 : sum;
}

struct Engine {
  double HighPassAlpha = 0, HighPassAlphaPlusOne = 0;
  double MidPrice[2] = {};
  double HighPass[6] = {};
  double SmoothedHighPass[2] = {};
  double BandwidthDelta = 0;
  double InPhaseInput[61][3] = {};
  double QuadratureInput[61][3] = {};
  double InPhase[61][3] = {};
  double Quadrature[61][3] = {};
  double BandPower[61] = {};
  double BandDecibels[61][2] = {};
  double PeakPower = 0;
  double DominantCycle[10] = {};
  double SmoothedDominantCycle = 0;

  void Begin() {
    const double t = 0.20943951023931956;
    HighPassAlpha = (1 - Sin(t)) / Cos(t);
    HighPassAlphaPlusOne = 1 + HighPassAlpha;
  }

  void Step(int b, double mid) {
    MidPrice[0] = mid;
    HighPass[0] = HighPassAlphaPlusOne * (MidPrice[0] - MidPrice[1]) * 0.5 + HighPassAlpha * HighPass[1];
    SmoothedHighPass[0] =
        (HighPass[0] + 2 * HighPass[1] + 3 * HighPass[2] + 3 * HighPass[3] + 2 * HighPass[4] + HighPass[5]) *
        0.08333333333333333;
    if (b < 7) SmoothedHighPass[0] = MidPrice[0] - MidPrice[1];
    if (b == 1) SmoothedHighPass[0] = 0.0;

    BandwidthDelta = 0.5 - 0.015 * b;
    if (BandwidthDelta < 0.1) BandwidthDelta = 0.1;
    if (b > 12) {
      const double w = BandwidthDelta * 25.132741228718345;
      for (int n = 12; n <= 60; ++n) InPhaseInput[n][0] = SmoothedHighPass[0];
      const double d = SmoothedHighPass[0] - SmoothedHighPass[1];
      for (int n = 12; n <= 60; ++n) {
        const double beta = Cos(12.566370614359172 / n);
        const double gamma = 1 / Cos(w / n);
        const double alpha = gamma - PowHalf(gamma * gamma - 1);
        QuadratureInput[n][0] = (n * 0.07957753876221914) * d;
        InPhase[n][0] = 0.5 * (1 - alpha) * (SmoothedHighPass[0] - InPhaseInput[n][2]) +
                        beta * (1 + alpha) * InPhase[n][1] - alpha * InPhase[n][2];
        Quadrature[n][0] = 0.5 * (1 - alpha) * (QuadratureInput[n][0] - QuadratureInput[n][2]) +
                           beta * (1 + alpha) * Quadrature[n][1] - alpha * Quadrature[n][2];
        BandPower[n] = Quadrature[n][0] * Quadrature[n][0] + InPhase[n][0] * InPhase[n][0];
      }
    }

    for (int n = 12; n <= 60; ++n) BandDecibels[n][1] = BandDecibels[n][0];
    for (int n = 12; n <= 60; ++n) {
      for (auto* record : {InPhaseInput[n], QuadratureInput[n], InPhase[n], Quadrature[n]}) {
        record[2] = record[1];
        record[1] = record[0];
      }
    }
    PeakPower = BandPower[12];
    for (int n = 12; n <= 60; ++n)
      if (!(PeakPower >= BandPower[n])) PeakPower = BandPower[n];
    for (int n = 12; n <= 60; ++n) {
      double raw;
      if (PeakPower != 0 && !std::isnan(PeakPower) && BandPower[n] / PeakPower > 0) {
        const double x = 0.01 / (1 - (0.99 * BandPower[n]) / PeakPower);
        raw = Log(x) * -10 / kLn10;
      } else {
        raw = BandDecibels[n][0];
      }
      BandDecibels[n][0] = 0.67 * BandDecibels[n][1] + 0.33 * raw;
      if (BandDecibels[n][0] > 20) BandDecibels[n][0] = 20.0;
    }

    double weighted = 0, weights = 0;
    for (int n = 12; n <= 60; ++n) {
      if (!(BandDecibels[n][0] > 6)) {
        const double weight = 20 - BandDecibels[n][0];
        weighted = weighted + n * weight;
        weights = weights + weight;
      }
    }
    if (weights != 0) DominantCycle[0] = (weighted * 0.5) / weights;
    SmoothedDominantCycle = WindowMedian(DominantCycle, 5);
  }

  void Shift() {
    for (int k = 5; k >= 1; --k) HighPass[k] = HighPass[k - 1];
    for (int k = 9; k >= 1; --k) DominantCycle[k] = DominantCycle[k - 1];
    SmoothedHighPass[1] = SmoothedHighPass[0];
    MidPrice[1] = MidPrice[0];
  }
};

struct Tuned {
  double Record[3] = {};
  double Period = 0, Lead = 0;

  // mid is the current MidPrice, mid2 that of two bars ago.
  void Step(double smoothed, double lower, double upper, bool hasUpper, double mid, double mid2) {
    Period = smoothed;
    if (!(Period >= lower))
      Period = lower;
    else if (hasUpper && !(Period < upper))
      Period = upper;
    const double gamma = 1 / Cos(1.2566370614359172 / Period);
    const double alpha = gamma - PowHalf(gamma * gamma - 1);
    const double beta = Cos(6.283185307179586 / Period);
    Record[0] = ((beta * (1 + alpha)) * Record[1]) + (((mid - mid2) * (1 - alpha)) * 0.5) - Record[2] * alpha;
    Lead = (Record[0] - Record[1]) * (Period * 0.15915507752443828);
  }
  void Shift() {
    Record[2] = Record[1];
    Record[1] = Record[0];
  }
};

template <class Stage>
int Run(const float* high, const float* low, int count, float* out) {
  Stage stage{};
  if (count < 1) return 0;
  stage.engine.Begin();
  for (int b = 1; b <= count; ++b) {
    const double mid = (static_cast<double>(high[b - 1]) + static_cast<double>(low[b - 1])) * 0.5;
    stage.engine.Step(b, mid);
    out[b - 1] = static_cast<float>(stage.Value(b, high, low));
    stage.engine.Shift();
    stage.Shift();
  }
  return count;
}

struct CyclePeriodStage {
  Engine engine;
  double Value(int, const float*, const float*) const { return engine.SmoothedDominantCycle; }
  void Shift() {}
};

struct SignalToNoiseStage {
  Engine engine;
  double SmoothedMidPrice[2], Signal[2], Noise[2], RangeWindow[5], HeldRatio;

  double Value(int b, const float* high, const float* low) {
    SmoothedMidPrice[0] = 0.1 * engine.MidPrice[0] + 0.9 * SmoothedMidPrice[1];
    if (!(SmoothedMidPrice[0] == 0 || std::isnan(SmoothedMidPrice[0]))) {
      if (engine.PeakPower > 0) Signal[0] = 0.2 * PowHalf(engine.PeakPower) + 0.9 * Signal[1];
      if (b > 5) {
        for (int k = 0; k < 5; ++k)
          RangeWindow[k] = static_cast<double>(high[b - 1 - k]) - static_cast<double>(low[b - 1 - k]);
        Noise[0] = 0.1 * WindowMedian(RangeWindow, 5) + 0.9 * Noise[1];
      }
    }
    double ratio;
    const bool signalNonZero = Signal[0] != 0 && !std::isnan(Signal[0]);
    const bool noiseNonZero = Noise[0] != 0 && !std::isnan(Noise[0]);
    if (signalNonZero && noiseNonZero)
      ratio = 20 * Log(Signal[0] / Noise[0]) / kLn10 + 3.5;
    else
      ratio = HeldRatio;
    if (!(ratio >= 1))
      ratio = 0;
    else if (ratio > 11)
      ratio = 10;
    const double scaled = 0.1 * ratio;
    const double value = 10 * scaled + 1;
    HeldRatio = ratio;
    return value;
  }
  void Shift() {
    SmoothedMidPrice[1] = SmoothedMidPrice[0];
    Signal[1] = Signal[0];
    Noise[1] = Noise[0];
  }
};

struct SwingPositionStage {
  Engine engine;
  double MidRecord[3];
  Tuned tuned;
  double Lead60[51];

  double Value(int, const float*, const float*) {
    MidRecord[0] = engine.MidPrice[0];
    tuned.Step(engine.SmoothedDominantCycle, 6.0, 0.0, false, MidRecord[0], MidRecord[2]);
    Lead60[0] = (tuned.Lead * 0.866) + (tuned.Record[0] * 0.5);
    double high = Lead60[0], low = Lead60[0];
    for (int k = 1; k <= 50; ++k) {
      if (Lead60[k] > high) high = Lead60[k];
      if (Lead60[k] < low) low = Lead60[k];
    }
    const double fraction = (Lead60[0] - low) / (high - low);
    return 10 * fraction - 5;
  }
  void Shift() {
    for (int k = 50; k >= 1; --k) Lead60[k] = Lead60[k - 1];
    tuned.Shift();
    MidRecord[2] = MidRecord[1];
    MidRecord[1] = MidRecord[0];
  }
};

struct TrendVigorStage {
  Engine engine;
  double MidPriceHistory[1000];
  Tuned tuned;
  double VigorRatio, PreviousVigorRatio;

  double Value(int, const float*, const float*) {
    MidPriceHistory[0] = engine.MidPrice[0];
    tuned.Step(engine.SmoothedDominantCycle, 6.0, 1000.0, true, MidPriceHistory[0], MidPriceHistory[2]);
    const double amplitude = PowHalf(tuned.Record[0] * tuned.Record[0] + tuned.Lead * tuned.Lead);
    const int k = static_cast<int>(tuned.Period) - 1;
    const double trend = MidPriceHistory[0] - MidPriceHistory[k];
    const bool trendNonZero = trend != 0 && !std::isnan(trend);
    const bool amplitudeNonZero = amplitude != 0 && !std::isnan(amplitude);
    if (trendNonZero && amplitudeNonZero) VigorRatio = (trend * 0.33) / amplitude + PreviousVigorRatio * 0.67;
    if (VigorRatio > 10.0)
      VigorRatio = 10.0;
    else if (VigorRatio < -10.0 || std::isnan(VigorRatio))
      VigorRatio = -10.0;
    return ((VigorRatio + 10.0) * 0.05) * 20.0 - 10.0;
  }
  void Shift() {
    for (int k = 999; k >= 1; --k) MidPriceHistory[k] = MidPriceHistory[k - 1];
    tuned.Shift();
    PreviousVigorRatio = VigorRatio;
  }
};

}  // namespace

void ObserveMath(MathObserver observer) { gObserver = observer; }

int CyclePeriod(const float* high, const float* low, int count, float* out) {
  return Run<CyclePeriodStage>(high, low, count, out);
}
int SignalToNoiseRatio(const float* high, const float* low, int count, float* out) {
  return Run<SignalToNoiseStage>(high, low, count, out);
}
int SwingPosition(const float* high, const float* low, int count, float* out) {
  return Run<SwingPositionStage>(high, low, count, out);
}
int TrendVigor(const float* high, const float* low, int count, float* out) {
  return Run<TrendVigorStage>(high, low, count, out);
}

}  // namespace straightforward
