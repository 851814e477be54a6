// C++ wrapper over TamselCharts.h: spans in, vectors out, exceptions for
// misuse, and an RAII stream.  Header-only; link the library as for the C API.
//
//   std::vector<float> period = tamsel::CyclePeriod(high, low);
//   tamsel::Stream live;
//   tamsel::Values now = live.Push(high.back(), low.back());
#ifndef TAMSELCHARTS_HPP
#define TAMSELCHARTS_HPP

#include <climits>
#include <cstddef>
#include <new>
#include <span>
#include <stdexcept>
#include <utility>
#include <vector>

#include "TamselCharts.h"

namespace tamsel {

using Values = TamselChart_Values;

namespace detail {

inline int CheckedCount(std::span<const float> high, std::span<const float> low) {
  if (high.size() != low.size()) throw std::invalid_argument("tamsel: high and low differ in length");
  if (high.size() > static_cast<std::size_t>(INT_MAX)) throw std::length_error("tamsel: more bars than an int counts");
  return static_cast<int>(high.size());
}

inline std::vector<float> Run(IndicatorExport fn, std::span<const float> high, std::span<const float> low) {
  const int count = CheckedCount(high, low);
  std::vector<float> out(high.size());
  if (count > 0) fn(high.data(), low.data(), count, out.data());
  return out;
}

}  // namespace detail

// One value per bar; see TamselCharts.h for ranges and start-up bars.
inline std::vector<float> CyclePeriod(std::span<const float> high, std::span<const float> low) {
  return detail::Run(&TamselChart_CyclePeriod, high, low);
}
inline std::vector<float> SignalToNoiseRatio(std::span<const float> high, std::span<const float> low) {
  return detail::Run(&TamselChart_SignalToNoiseRatio, high, low);
}
inline std::vector<float> SwingPosition(std::span<const float> high, std::span<const float> low) {
  return detail::Run(&TamselChart_SwingPosition, high, low);
}
inline std::vector<float> TrendVigor(std::span<const float> high, std::span<const float> low) {
  return detail::Run(&TamselChart_TrendVigor, high, low);
}

struct IndicatorSeries {
  std::vector<float> CyclePeriod, SignalToNoiseRatio, SwingPosition, TrendVigor;
};

// All four from one pass of the engine.
inline IndicatorSeries AllIndicators(std::span<const float> high, std::span<const float> low) {
  const int count = detail::CheckedCount(high, low);
  IndicatorSeries s{std::vector<float>(high.size()), std::vector<float>(high.size()), std::vector<float>(high.size()),
                    std::vector<float>(high.size())};
  if (count > 0)
    TamselChart_AllIndicators(high.data(), low.data(), count, s.CyclePeriod.data(), s.SignalToNoiseRatio.data(),
                              s.SwingPosition.data(), s.TrendVigor.data());
  return s;
}

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
