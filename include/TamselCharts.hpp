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
//   tamsel::Prices taken = tamsel::ApplyMissingPolicy(highs, lows, tamsel::Missing::Previous);
//   std::vector<tamsel::IndicatorSeries> all = tamsel::AllIndicatorsMany(manySymbols);
//   tamsel::StreamSet screen(symbolCount);
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
#include <limits>
#include <new>
#include <stdexcept>
#include <string>
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

// The indicator table (column names, warm-up, ranges), in the order of Values.
using IndicatorInfo = TamselChart_IndicatorInfo;
inline std::vector<const IndicatorInfo*> Indicators() {
  std::vector<const IndicatorInfo*> table(static_cast<std::size_t>(TamselChart_IndicatorCount()));
  for (std::size_t i = 0; i < table.size(); ++i) table[i] = TamselChart_Indicator(static_cast<int>(i));
  return table;
}

// What to do with a price that is not a finite float (see TamselCharts.h).
enum class Missing : int {
  Error = TAMSELCHART_MISSING_ERROR,
  Previous = TAMSELCHART_MISSING_PREVIOUS,
  NaN = TAMSELCHART_MISSING_NAN,
};

// A price the policy refuses: what() names the bar, the column (and the
// member of a stream set) and the way out; the parts are kept for a host's
// own message.
class PriceError : public std::domain_error {
 public:
  explicit PriceError(const TamselChart_PriceProblem& problem, int member = -1)
      : std::domain_error(Describe(problem, member)), problem_(problem), member_(member) {}
  const TamselChart_PriceProblem& Problem() const noexcept { return problem_; }
  // The stream set's member whose price it is; -1 for a stream's or a batch's.
  int Member() const noexcept { return member_; }

 private:
  static std::string Describe(const TamselChart_PriceProblem& p, int member) {
    std::string text = std::string("tamsel: ") + (member >= 0 ? "member " + std::to_string(member) + ", " : "") +
                       (p.column == TAMSELCHART_COLUMN_HIGH ? "high" : "low") + " price of bar " +
                       std::to_string(p.bar) + ": " + TamselChart_PriceProblemText(p.kind);
    if (p.kind == TAMSELCHART_PRICE_MISSING)
      text += " (Missing::Previous repeats the previous bar's price, Missing::NaN passes it on)";
    else if (p.kind == TAMSELCHART_PRICE_NO_PREVIOUS)
      text += " (drop the leading bars without prices, or use Missing::NaN)";
    else if (p.kind == TAMSELCHART_PRICE_INFINITE || p.kind == TAMSELCHART_PRICE_OUT_OF_RANGE)
      text += " (correct or drop the bar, or use Missing::NaN to pass it on)";
    return text;
  }
  TamselChart_PriceProblem problem_;
  int member_;
};

// A snapshot the library cannot load: what() says why, Reason() gives the
// TAMSELCHART_SNAPSHOT_ code.
class SnapshotError : public std::runtime_error {
 public:
  explicit SnapshotError(int reason)
      : std::runtime_error(std::string("tamsel: ") + TamselChart_SnapshotProblemText(reason)), reason_(reason) {}
  int Reason() const noexcept { return reason_; }

 private:
  int reason_;
};

// The floats the indicators get from prices under a policy.
struct Prices {
  std::vector<float> High, Low;
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

// The prices under the missing-price policy; throws PriceError for the first
// price it refuses.
inline Prices ApplyMissingPolicy(const std::vector<double>& high, const std::vector<double>& low,
                                 Missing missing = Missing::Error) {
  const std::size_t count = detail::SameLength(high.size(), low.size());
  Prices taken{std::vector<float>(count), std::vector<float>(count)};
  if (count == 0) return taken;
  TamselChart_PriceProblem problem{};
  if (TamselChart_ApplyMissingPolicy(high.data(), low.data(), detail::CheckedCount(count), static_cast<int>(missing),
                                     taken.High.data(), taken.Low.data(), &problem) == 0)
    throw PriceError(problem);
  return taken;
}

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
  // A stream whose PushPrices and PeekPrices apply the missing-price policy.
  explicit Stream(Missing missing) : Stream() {
    TamselChart_StreamSetMissingPolicy(stream_, static_cast<int>(missing));
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
  // Push and Peek under the stream's missing-price policy; a refused price
  // throws PriceError and commits nothing.
  Values PushPrices(double high, double low) {
    Values v{};
    TamselChart_PriceProblem problem{};
    if (TamselChart_StreamPushPrices(stream_, high, low, &v, &problem) == 0) Refused(problem);
    return v;
  }
  Values PeekPrices(double high, double low) const {
    Values v{};
    TamselChart_PriceProblem problem{};
    if (TamselChart_StreamPeekPrices(stream_, high, low, &v, &problem) == 0) Refused(problem);
    return v;
  }
  void Reset() { TamselChart_StreamReset(stream_); }

  // The stream as bytes that Load, on any build, turns back into a stream
  // that goes on exactly as this one.
  std::vector<unsigned char> Save() const {
    if (stream_ == nullptr) throw std::logic_error("tamsel: save of a moved-from stream");
    std::vector<unsigned char> bytes(static_cast<std::size_t>(TamselChart_StreamSave(stream_, nullptr, 0)));
    TamselChart_StreamSave(stream_, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
  }
  // Throws SnapshotError for bytes that are no snapshot it can take.
  static Stream Load(const std::vector<unsigned char>& bytes) {
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw SnapshotError(TAMSELCHART_SNAPSHOT_DAMAGED);
    int reason = TAMSELCHART_SNAPSHOT_OK;
    TamselChart_Stream* loaded = TamselChart_StreamLoad(bytes.data(), static_cast<int>(bytes.size()), &reason);
    if (loaded == nullptr) {
      if (reason == TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY) throw std::bad_alloc();
      throw SnapshotError(reason);
    }
    return Stream(loaded);
  }

  TamselChart_Stream* Handle() const { return stream_; }

 private:
  explicit Stream(TamselChart_Stream* adopted) noexcept : stream_(adopted) {}
  [[noreturn]] void Refused(const TamselChart_PriceProblem& problem) const {
    if (stream_ == nullptr) throw std::logic_error("tamsel: push on a moved-from stream");
    throw PriceError(problem);
  }
  TamselChart_Stream* stream_;
};

// Many series in one call: the four indicators of each, exactly as
// AllIndicators gives them for that series alone.  Each series' High and
// Low must be of equal length (std::invalid_argument otherwise); an empty
// series gives empty outputs.
inline std::vector<IndicatorSeries> AllIndicatorsMany(const std::vector<Prices>& series) {
  const int seriesCount = detail::CheckedCount(series.size());
  std::vector<IndicatorSeries> out(series.size());
  std::vector<TamselChart_SeriesIO> io(series.size());
  for (std::size_t s = 0; s < series.size(); ++s) {
    const std::size_t count = detail::SameLength(series[s].High.size(), series[s].Low.size());
    IndicatorSeries& values = out[s];
    values = {std::vector<float>(count), std::vector<float>(count), std::vector<float>(count),
              std::vector<float>(count)};
    io[s] = {series[s].High.data(),
             series[s].Low.data(),
             detail::CheckedCount(count),
             values.CyclePeriod.data(),
             values.SignalToNoiseRatio.data(),
             values.SwingPosition.data(),
             values.TrendVigor.data()};
  }
  if (seriesCount > 0 && TamselChart_AllIndicatorsMany(seriesCount, io.data()) == 0) {
    // Fresh outputs never overlap the prices: only the check's memory fails.
    for (const TamselChart_SeriesIO& one : io)
      if (one.count > 0) throw std::bad_alloc();
  }
  return out;
}

// Streams for many series pushed together, one interval at a time.  Member
// i is series i; Latest(i) holds its latest bar's values (NaN before its
// first bar and after a Load: a bar's own values may be 0).  Move-only; a
// moved-from set may only be destroyed or assigned to.
class StreamSet {
 public:
  explicit StreamSet(std::size_t memberCount)
      : latest_(static_cast<std::size_t>(detail::CheckedCount(memberCount)), NoValues()),
        set_(TamselChart_StreamSetCreate(static_cast<int>(memberCount))) {
    if (memberCount == 0) throw std::invalid_argument("tamsel: a stream set needs at least one member");
    if (set_ == nullptr) throw std::bad_alloc();
  }
  // A set whose PushPrices applies the missing-price policy to every member.
  StreamSet(std::size_t memberCount, Missing missing) : StreamSet(memberCount) {
    TamselChart_StreamSetSetMissingPolicy(set_, -1, static_cast<int>(missing));
  }
  StreamSet(StreamSet&& other) noexcept : latest_(std::move(other.latest_)), set_(std::exchange(other.set_, nullptr)) {}
  StreamSet& operator=(StreamSet&& other) noexcept {
    std::swap(set_, other.set_);
    std::swap(latest_, other.latest_);
    return *this;
  }
  StreamSet(const StreamSet&) = delete;
  StreamSet& operator=(const StreamSet&) = delete;
  ~StreamSet() { TamselChart_StreamSetDestroy(set_); }

  std::size_t Size() const { return latest_.size(); }

  // Commits one interval: a price pair per member, and hasBar (empty: every
  // member has a bar) 0 for a member without a bar, which does not advance.
  // Returns the latest values of every member.
  const std::vector<Values>& Push(const std::vector<float>& high, const std::vector<float>& low,
                                  const std::vector<unsigned char>& hasBar = {}) {
    CheckInterval(high.size(), low.size(), hasBar.size());
    TamselChart_StreamSetPush(set_, high.data(), low.data(), hasBar.empty() ? nullptr : hasBar.data(), latest_.data());
    return latest_;
  }
  // Push under each member's missing-price policy; a refused price throws
  // PriceError (Member() says whose) and no member advances.
  const std::vector<Values>& PushPrices(const std::vector<double>& high, const std::vector<double>& low,
                                        const std::vector<unsigned char>& hasBar = {}) {
    CheckInterval(high.size(), low.size(), hasBar.size());
    TamselChart_PriceProblem problem{};
    int member = -1;
    if (TamselChart_StreamSetPushPrices(set_, high.data(), low.data(), hasBar.empty() ? nullptr : hasBar.data(),
                                        latest_.data(), &problem, &member) < 0)
      throw PriceError(problem, member);
    return latest_;
  }
  const Values& Latest(std::size_t member) const { return latest_.at(member); }

  // A member as the bytes Stream::Save gives for a stream in its state.
  std::vector<unsigned char> Save(std::size_t member) const {
    const int i = Member(member);
    std::vector<unsigned char> bytes(static_cast<std::size_t>(TamselChart_StreamSetSave(set_, i, nullptr, 0)));
    TamselChart_StreamSetSave(set_, i, bytes.data(), static_cast<int>(bytes.size()));
    return bytes;
  }
  // Replaces a member with a saved stream (or member); throws SnapshotError
  // for bytes it cannot take, leaving the member as it was.
  void Load(std::size_t member, const std::vector<unsigned char>& bytes) {
    const int i = Member(member);
    if (bytes.size() > static_cast<std::size_t>(INT_MAX)) throw SnapshotError(TAMSELCHART_SNAPSHOT_DAMAGED);
    int reason = TAMSELCHART_SNAPSHOT_OK;
    if (TamselChart_StreamSetLoad(set_, i, bytes.data(), static_cast<int>(bytes.size()), &reason) != 1) {
      if (reason == TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY) throw std::bad_alloc();
      throw SnapshotError(reason);
    }
    latest_[member] = NoValues();
  }

  TamselChart_StreamSet* Handle() const { return set_; }

 private:
  void Live() const {
    if (set_ == nullptr) throw std::logic_error("tamsel: use of a moved-from stream set");
  }
  // A live set, and one entry per member (hasBar may be empty).
  void CheckInterval(std::size_t highs, std::size_t lows, std::size_t hasBars) const {
    Live();
    if (highs != Size() || lows != Size() || (hasBars != 0 && hasBars != Size()))
      throw std::invalid_argument("tamsel: a stream set push needs one entry per member");
  }
  int Member(std::size_t member) const {
    Live();
    if (member >= Size()) throw std::out_of_range("tamsel: no such member of the stream set");
    return static_cast<int>(member);
  }
  // A member's values before its first bar, as every front end gives them.
  static Values NoValues() {
    constexpr float none = std::numeric_limits<float>::quiet_NaN();
    return {none, none, none, none};
  }
  // The values first: made before the set, they cannot fail once it exists.
  std::vector<Values> latest_;
  TamselChart_StreamSet* set_;
};

}  // namespace tamsel

#endif  // TAMSELCHARTS_HPP
