// SPDX-License-Identifier: MIT
// The C boundary: the batch exports, the all-in-one pass and the stream.
#include <new>
#include <type_traits>

#include "TamselCharts.h"
#include "aligned_allocation.hpp"
#include "all_indicators.hpp"
#include "float_environment_guard.hpp"
#include "indicator_frame.hpp"

using namespace tamsel;

// A batch call keeps its whole working state on the caller's stack.
static_assert(sizeof(AllIndicators) < 32 * 1024, "the all-in-one state must stay well within a thread's stack");

struct TamselChart_Stream {
  AllIndicators indicators;
};
// Plain data: a stream is freed without running a destructor.
static_assert(std::is_trivially_destructible_v<TamselChart_Stream>);

extern "C" {

// Every entry point computes inside a FloatEnvironmentGuard, declared first so
// that no path returns without handing the caller's environment back.

int TAMSELCHART_CALL TamselChart_CyclePeriod(const float* high, const float* low, int count, float* out) {
  const FloatEnvironmentGuard guard;
  return RunIndicatorExport<CyclePeriodStage>(high, low, count, out);
}

int TAMSELCHART_CALL TamselChart_SignalToNoiseRatio(const float* high, const float* low, int count, float* out) {
  const FloatEnvironmentGuard guard;
  return RunIndicatorExport<SignalToNoiseStage>(high, low, count, out);
}

int TAMSELCHART_CALL TamselChart_SwingPosition(const float* high, const float* low, int count, float* out) {
  const FloatEnvironmentGuard guard;
  return RunIndicatorExport<SwingPositionStage>(high, low, count, out);
}

int TAMSELCHART_CALL TamselChart_TrendVigor(const float* high, const float* low, int count, float* out) {
  const FloatEnvironmentGuard guard;
  return RunIndicatorExport<TrendVigorStage>(high, low, count, out);
}

int TAMSELCHART_CALL TamselChart_AllIndicators(const float* high, const float* low, int count, float* cyclePeriod,
                                               float* signalToNoiseRatio, float* swingPosition, float* trendVigor) {
  const FloatEnvironmentGuard guard;
  return RunBatch(high, low, count, {cyclePeriod, signalToNoiseRatio, swingPosition, trendVigor});
}

TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamCreate(void) {
  const FloatEnvironmentGuard guard;
  void* block = AllocateAligned(sizeof(TamselChart_Stream), alignof(TamselChart_Stream));
  if (block == nullptr) return nullptr;
  return new (block) TamselChart_Stream{};
}

TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamClone(const TamselChart_Stream* stream) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr) return nullptr;
  void* block = AllocateAligned(sizeof(TamselChart_Stream), alignof(TamselChart_Stream));
  if (block == nullptr) return nullptr;
  return new (block) TamselChart_Stream(*stream);
}

void TAMSELCHART_CALL TamselChart_StreamReset(TamselChart_Stream* stream) {
  const FloatEnvironmentGuard guard;
  if (stream != nullptr) *stream = TamselChart_Stream{};
}

void TAMSELCHART_CALL TamselChart_StreamDestroy(TamselChart_Stream* stream) {
  const FloatEnvironmentGuard guard;
  FreeAligned(stream);
}

int TAMSELCHART_CALL TamselChart_StreamPush(TamselChart_Stream* stream, float high, float low,
                                            TamselChart_Values* out) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr || out == nullptr) return 0;
  *out = stream->indicators.Step(AfterEnvironmentSwitch(high), AfterEnvironmentSwitch(low));
  return stream->indicators.engine.BarNumber();
}

int TAMSELCHART_CALL TamselChart_StreamPeek(const TamselChart_Stream* stream, float high, float low,
                                            TamselChart_Values* out) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr || out == nullptr) return 0;
  AllIndicators scratch = stream->indicators;
  *out = scratch.Step(AfterEnvironmentSwitch(high), AfterEnvironmentSwitch(low));
  return scratch.engine.BarNumber();
}

}  // extern "C"
