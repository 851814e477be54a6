// SPDX-License-Identifier: MIT
// C++ wrapper over TamselCharts.h: arrays in, vectors out, exceptions for
// misuse, and an RAII stream.  Header-only; link the library as for the C
// API.  Needs C++17; under C++20 std::span (and so std::array and anything
// contiguous) is taken as well.
//
//   std::vector<float> period = tamsel::CyclePeriod(high, low);   // vectors
//   std::vector<float> trend = tamsel::TrendVigor(h, l, count);    // pointers
//   tamsel::Stream live;
//   tamsel::Values now = live.Push(high.back(), low.back());
#ifndef TAMSELCHARTS_HPP
#define TAMSELCHARTS_HPP

#if defined(_MSVC_LANG)
#define TAMSELCHARTS_CPLUSPLUS _MSVC_LANG
#else
#define TAMSELCHARTS_CPLUSPLUS __cplusplus
#endif
#if TAMSELCHARTS_CPLUSPLUS < 201703L
#error "TamselCharts.hpp needs C++17 or later; from older C++ (or C) use TamselCharts.h"
#endif

#include <climits>
#include <cstddef>
#include <new>
#include <stdexcept>
#include <utility>
#include <vector>
#if __has_include(<version>)
#include <version>
#endif
#if defined(__cpp_lib_span)
#include <span>
#endif

#include "TamselCharts.h"

namespace tamsel {

using Values = TamselChart_Values;

// "MAJOR.MINOR.PATCH" of the library actually linked or loaded.
inline const char* Version() { return TamselChart_Version(); }

struct IndicatorSeries {
  std::vector<float> CyclePeriod, SignalToNoiseRatio, SwingPosition, TrendVigor;
};

namespace detail {

inline std::size_t SameLength(std::size_t high, std::size_t low) {
  if (high != low) throw std::invalid_argument("tamsel: high and low differ in length");
  return high;
}

inline int CheckedCount(std::size_t count) {
  if (count > static_cast<std::size_t>(INT_MAX)) throw std::length_error("tamsel: more bars than an int counts");
  return static_cast<int>(count);
}

inline std::vector<float> Run(IndicatorExport fn, const float* high, const float* low, std::size_t count) {
  const int bars = CheckedCount(count);
  std::vector<float> out(count);
  if (bars > 0) fn(high, low, bars, out.data());
  return out;
}

inline IndicatorSeries RunAll(const float* high, const float* low, std::size_t count) {
  const int bars = CheckedCount(count);
  IndicatorSeries s{std::vector<float>(count), std::vector<float>(count), std::vector<float>(count),
                    std::vector<float>(count)};
  if (bars > 0)
    TamselChart_AllIndicators(high, low, bars, s.CyclePeriod.data(), s.SignalToNoiseRatio.data(),
                              s.SwingPosition.data(), s.TrendVigor.data());
  return s;
}

}  // namespace detail

// One value per bar; see TamselCharts.h for ranges and start-up bars.  Each
// takes count bars from two arrays, or two vectors (or, under C++20, two
// spans) of equal length.
using FloatVector = std::vector<float>;

inline FloatVector CyclePeriod(const float* high, const float* low, std::size_t count) {
  return detail::Run(&TamselChart_CyclePeriod, high, low, count);
}
inline FloatVector CyclePeriod(const FloatVector& high, const FloatVector& low) {
  return CyclePeriod(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector SignalToNoiseRatio(const float* high, const float* low, std::size_t count) {
  return detail::Run(&TamselChart_SignalToNoiseRatio, high, low, count);
}
inline FloatVector SignalToNoiseRatio(const FloatVector& high, const FloatVector& low) {
  return SignalToNoiseRatio(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector SwingPosition(const float* high, const float* low, std::size_t count) {
  return detail::Run(&TamselChart_SwingPosition, high, low, count);
}
inline FloatVector SwingPosition(const FloatVector& high, const FloatVector& low) {
  return SwingPosition(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector TrendVigor(const float* high, const float* low, std::size_t count) {
  return detail::Run(&TamselChart_TrendVigor, high, low, count);
}
inline FloatVector TrendVigor(const FloatVector& high, const FloatVector& low) {
  return TrendVigor(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}

// All four from one pass of the engine.
inline IndicatorSeries AllIndicators(const float* high, const float* low, std::size_t count) {
  return detail::RunAll(high, low, count);
}
inline IndicatorSeries AllIndicators(const FloatVector& high, const FloatVector& low) {
  return detail::RunAll(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}

#if defined(__cpp_lib_span)
using FloatSpan = std::span<const float>;

inline FloatVector CyclePeriod(FloatSpan high, FloatSpan low) {
  return CyclePeriod(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector SignalToNoiseRatio(FloatSpan high, FloatSpan low) {
  return SignalToNoiseRatio(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector SwingPosition(FloatSpan high, FloatSpan low) {
  return SwingPosition(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline FloatVector TrendVigor(FloatSpan high, FloatSpan low) {
  return TrendVigor(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
inline IndicatorSeries AllIndicators(FloatSpan high, FloatSpan low) {
  return detail::RunAll(high.data(), low.data(), detail::SameLength(high.size(), low.size()));
}
#endif

// The four indicators bar by bar.  Copying clones the stream's state; a
// moved-from stream may only be destroyed or assigned to.
class Stream {
 public:
  Stream() : stream_(TamselChart_StreamCreate()) {
    if (stream_ == nullptr) throw std::bad_alloc();
  }
  Stream(const Stream& other) : stream_(TamselChart_StreamClone(other.stream_)) {
    if (stream_ == nullptr) throw std::bad_alloc();
  }
  Stream(Stream&& other) noexcept : stream_(std::exchange(other.stream_, nullptr)) {}
  Stream& operator=(Stream other) noexcept {
    std::swap(stream_, other.stream_);
    return *this;
  }
  ~Stream() { TamselChart_StreamDestroy(stream_); }

  // Commits a closed bar and returns its values.
  Values Push(float high, float low) {
    Values v{};
    if (TamselChart_StreamPush(stream_, high, low, &v) == 0)
      throw std::logic_error("tamsel: push on a moved-from stream");
    return v;
  }
  // The values of the still-forming bar, committing nothing.
  Values Peek(float high, float low) const {
    Values v{};
    if (TamselChart_StreamPeek(stream_, high, low, &v) == 0)
      throw std::logic_error("tamsel: peek on a moved-from stream");
    return v;
  }
  void Reset() { TamselChart_StreamReset(stream_); }

  TamselChart_Stream* Handle() const { return stream_; }

 private:
  TamselChart_Stream* stream_;
};

}  // namespace tamsel

#endif  // TAMSELCHARTS_HPP
