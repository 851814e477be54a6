// SPDX-License-Identifier: MIT
// The C++ consumer: the same lines as consumer.c, computed through
// TamselCharts.hpp, built by scripts/test-consumers.sh as C++17 and C++20.
// Every overload the standard offers (pointer and count, vectors, and spans
// under C++20) must give the same values.
#include <TamselCharts.hpp>
#include <array>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include "consumer_series.h"
}

namespace {

std::uint64_t Digest(const std::vector<float>& values) {
  std::uint64_t hash = 14695981039346656037u;  // FNV-1a over the bits
  for (const float value : values) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int b = 0; b < 4; ++b) hash = (hash ^ ((bits >> (8 * b)) & 0xffu)) * 1099511628211u;
  }
  return hash;
}

}  // namespace

int main() {
  std::vector<float> high(kConsumerBars), low(kConsumerBars);
  FillConsumerSeries(high.data(), low.data());
  int failures = 0;

  std::printf("version %s\n", tamsel::Version());
  std::printf("header %d.%d.%d\n", TAMSELCHARTS_VERSION_MAJOR, TAMSELCHARTS_VERSION_MINOR, TAMSELCHARTS_VERSION_PATCH);

  using VectorIndicator = std::vector<float> (*)(const std::vector<float>&, const std::vector<float>&);
  using PointerIndicator = std::vector<float> (*)(const float*, const float*, std::size_t);
  struct Indicator {
    const char* name;
    VectorIndicator fromVectors;
    PointerIndicator fromPointers;
  };
  const Indicator indicators[] = {
      {"CyclePeriod", tamsel::CyclePeriod, tamsel::CyclePeriod},
      {"SignalToNoiseRatio", tamsel::SignalToNoiseRatio, tamsel::SignalToNoiseRatio},
      {"SwingPosition", tamsel::SwingPosition, tamsel::SwingPosition},
      {"TrendVigor", tamsel::TrendVigor, tamsel::TrendVigor},
  };
  const tamsel::IndicatorSeries all = tamsel::AllIndicators(high, low);
  const std::vector<float>* fromAll[] = {&all.CyclePeriod, &all.SignalToNoiseRatio, &all.SwingPosition,
                                         &all.TrendVigor};
#if defined(__cpp_lib_span)
  const std::span<const float> highSpan(high), lowSpan(low);
  const tamsel::IndicatorSeries allFromSpans = tamsel::AllIndicators(highSpan, lowSpan);
  failures += Digest(allFromSpans.TrendVigor) != Digest(all.TrendVigor);
  failures += Digest(tamsel::CyclePeriod(highSpan, lowSpan)) != Digest(all.CyclePeriod);
  std::fputs("std::span overloads used\n", stderr);
#endif

  for (int k = 0; k < 4; ++k) {
    const std::vector<float> values = indicators[k].fromVectors(high, low);
    const std::uint64_t digest = Digest(values);
    failures += digest != Digest(indicators[k].fromPointers(high.data(), low.data(), high.size()));
    failures += digest != Digest(*fromAll[k]);
    std::printf("%s %016" PRIx64 " %.9g\n", indicators[k].name, digest, static_cast<double>(values.back()));
  }

  // A stream copied halfway continues exactly as the batch does.
  tamsel::Stream stream;
  std::vector<float> trend;
  for (int i = 0; i < kConsumerBars; ++i) {
    if (i == kConsumerBars / 2) stream = tamsel::Stream(stream);
    trend.push_back(stream.Push(high[i], low[i]).TrendVigor);
  }
  failures += Digest(trend) != Digest(all.TrendVigor);
  try {
    (void)tamsel::TrendVigor(std::vector<float>(3), std::vector<float>(2));
    ++failures;
  } catch (const std::invalid_argument&) {
  }

  if (failures != 0) std::printf("FAILED: %d\n", failures);
  return failures != 0;
}
