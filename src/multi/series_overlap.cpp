// SPDX-License-Identifier: MIT
// The cross-series overlap check in O(n log n): every array of every computed
// series as a byte range, sorted by its start; a range overlaps an earlier
// one exactly when that one ends past its start.  So the sweep keeps, for
// inputs and for outputs apart, the furthest end seen and the furthest end
// of any other series, enough to ask "does an earlier range of another
// series reach here?".  Many series reading the same prices cost nothing.
#include "series_overlap.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "api/aligned_allocation.hpp"
#include "api/array_overlap.hpp"

namespace tamsel::multi {

bool SeriesIsComputed(const TamselChart_SeriesIO& series) {
  if (series.count < 1 || series.high == nullptr || series.low == nullptr) return false;
  return OutputsMayBeWritten(series.high, series.low, series.count,
                             {series.cyclePeriod, series.signalToNoiseRatio, series.swingPosition, series.trendVigor});
}

namespace {

struct TaggedRange {
  ByteRange bytes;
  int series;
  bool written;
};

// The two furthest ends among earlier ranges of one kind, from two
// different series: the furthest end of any series but one is one of them.
class FurthestEnds {
 public:
  std::uintptr_t OfOtherThan(int series) const { return series != first_.series ? first_.end : second_.end; }

  void Add(std::uintptr_t end, int series) {
    if (series == first_.series) {
      first_.end = std::max(first_.end, end);
    } else if (end > first_.end) {
      second_ = first_;
      first_ = {end, series};
    } else if (end > second_.end) {
      second_ = {end, series};
    }
  }

 private:
  struct End {
    std::uintptr_t end;
    int series;
  };
  End first_{0, -1};
  End second_{0, -1};
};

}  // namespace

int SeriesStayApart(int seriesCount, const TamselChart_SeriesIO* series) {
  constexpr int kRangesPerSeries = 6;
  const auto count = static_cast<std::size_t>(seriesCount);
  if (count > SIZE_MAX / (kRangesPerSeries * sizeof(TaggedRange))) return -1;
  void* block = AllocateAligned(count * kRangesPerSeries * sizeof(TaggedRange), alignof(TaggedRange));
  if (block == nullptr) return -1;
  auto* ranges = static_cast<TaggedRange*>(block);
  std::size_t used = 0;
  for (int s = 0; s < seriesCount; ++s) {
    const TamselChart_SeriesIO& io = series[s];
    if (!SeriesIsComputed(io)) continue;
    ranges[used++] = {RangeOf(io.high, io.count), s, false};
    if (io.low != io.high) ranges[used++] = {RangeOf(io.low, io.count), s, false};
    for (const float* out : {io.cyclePeriod, io.signalToNoiseRatio, io.swingPosition, io.trendVigor})
      if (out != nullptr) ranges[used++] = {RangeOf(out, io.count), s, true};
  }
  std::sort(ranges, ranges + used,
            [](const TaggedRange& a, const TaggedRange& b) { return a.bytes.begin < b.bytes.begin; });
  FurthestEnds read, written;
  bool apart = true;
  for (std::size_t i = 0; i < used && apart; ++i) {
    const TaggedRange& r = ranges[i];
    // Every earlier range begins at or before this one: it overlaps this
    // one when it ends after this one begins.
    if (written.OfOtherThan(r.series) > r.bytes.begin) apart = false;
    if (r.written && read.OfOtherThan(r.series) > r.bytes.begin) apart = false;
    (r.written ? written : read).Add(r.bytes.end, r.series);
  }
  FreeAligned(block);
  return apart ? 1 : 0;
}

}  // namespace tamsel::multi
