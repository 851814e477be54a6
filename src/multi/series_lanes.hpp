// SPDX-License-Identifier: MIT
// The many-series engine: up to one vector's width of series side by side,
// each lane of every vector holding its own series, so that what a single
// series computes value by value (the centroid's sums, the medians, the
// band-passes, the signal-to-noise logarithm, the swing window) becomes one
// vector operation for all of them.  Each lane computes exactly its series'
// own expressions in their own order: a series gets the bits of its own
// call, whatever its neighbours hold.
#pragma once

#include <cstddef>
#include <cstdint>

#include "TamselCharts.h"
#include "spectrum/filter_bank_design.hpp"

namespace tamsel {

// Runs the series (count at most the kernel's Width, each computed as the
// batch call would compute it alone) in the lanes of one pass.  Returns
// false, having written nothing, when the engine's state cannot be had.
using SeriesLanesRun = bool (*)(const TamselChart_SeriesIO* const* series, int count);

// One field of a stream's state, in the order the stream visits its state
// (AllIndicators::VisitState): count doubles, or a ring position below count.
struct StreamField {
  double* values;          // null for a position
  std::int32_t* position;  // null for doubles
  int count;
};

inline constexpr int kMaxStreamFields = 48;

struct StreamFields {
  StreamField field[kMaxStreamFields];
  int count;
};

// A stream set's group: one pass of the engine kept from push to push, whose
// lanes members take and leave.  Its lanes run past every start-up rule, so
// only a member whose stream has seen at least kLaneEntryBar bars may enter.
inline constexpr std::int32_t kLaneEntryBar = design::kFirstSteadyBar;

// Makes a new group in a block of GroupBytes aligned to GroupAlignment; it
// holds no resource.
using StreamGroupStart = void (*)(void* group);
// Moves a stream's state into a vacant lane, or a lane's back into a stream
// (its bar number aside, which the set keeps).  False when the fields are
// not in a stream's order, having moved those before the first that is
// not: the set tries a fresh stream once before it trusts a group.
using StreamGroupEnter = bool (*)(void* group, int lane, const StreamFields& stream);
using StreamGroupLeave = bool (*)(void* group, int lane, const StreamFields& stream);  // reads the group only
// One bar for the lanes whose out is not null, each as its member's stream
// push; the other lanes repeat their last prices and write nothing.
using StreamGroupStep = void (*)(void* group, const float* high, const float* low, TamselChart_Values* const* out);

struct SeriesLanesKernel {
  int Width;  // series per pass
  SeriesLanesRun Run;
  std::size_t GroupBytes;
  std::size_t GroupAlignment;
  StreamGroupStart Start;
  StreamGroupEnter Enter;
  StreamGroupLeave Leave;
  StreamGroupStep Step;
};

namespace baseline {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace baseline
#if defined(TAMSEL_SIMD_DISPATCH)
namespace avx2 {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace avx2
namespace avx512 {
extern const SeriesLanesKernel kSeriesLanes;
}  // namespace avx512
#endif

// The engine of the instruction set the spectrum kernel in use was built
// for.
const SeriesLanesKernel& ActiveSeriesLanes();

// The next narrower engine worth trying where the series are fewer than
// lanes, or null.
const SeriesLanesKernel* NarrowerSeriesLanes(const SeriesLanesKernel* lanes);

}  // namespace tamsel
