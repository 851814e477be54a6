// SPDX-License-Identifier: MIT
// The C boundary: the batch exports, the all-in-one pass and the stream.
#include <cstdint>
#include <new>
#include <type_traits>

#include "TamselCharts.h"
#include "aligned_allocation.hpp"
#include "all_indicators.hpp"
#include "float_environment_guard.hpp"
#include "indicator_frame.hpp"
#include "missing_price_policy.hpp"
#include "stream_state.hpp"

using namespace tamsel;

// A batch call keeps its whole working state on the caller's stack.
static_assert(sizeof(AllIndicators) < 32 * 1024, "the all-in-one state must stay well within a thread's stack");

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
  if (stream == nullptr) return;
  const int policy = stream->missing.policy;
  *stream = TamselChart_Stream{};
  stream->missing.policy = policy;
}

void TAMSELCHART_CALL TamselChart_StreamDestroy(TamselChart_Stream* stream) {
  const FloatEnvironmentGuard guard;
  FreeAligned(stream);
}

int TAMSELCHART_CALL TamselChart_StreamPush(TamselChart_Stream* stream, float high, float low,
                                            TamselChart_Values* out) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr || out == nullptr) return 0;
  high = AfterEnvironmentSwitch(high);
  low = AfterEnvironmentSwitch(low);
  *out = stream->indicators.Step(high, low);
  stream->missing.Remember(high, low);
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

int TAMSELCHART_CALL TamselChart_ApplyMissingPolicy(const double* high, const double* low, int count, int policy,
                                                    float* highOut, float* lowOut, TamselChart_PriceProblem* problem) {
  const FloatEnvironmentGuard guard;
  if (problem != nullptr) *problem = TamselChart_PriceProblem{};
  if (count < 1 || high == nullptr || low == nullptr || highOut == nullptr || lowOut == nullptr) return 0;
  const auto refuse = [problem](int kind, int bar, int column, double price) {
    if (problem != nullptr) *problem = {kind, bar, column, price};
    return 0;
  };
  if (!IsMissingPolicy(policy)) return refuse(TAMSELCHART_PRICE_BAD_POLICY, 0, 0, 0.0);
  MissingPriceMemory memory;
  memory.policy = policy;
  for (int i = 0; i < count; ++i) {
    const double prices[2] = {AfterEnvironmentSwitch(high[i]), AfterEnvironmentSwitch(low[i])};
    float taken[2];
    int column = 0;
    const int kind = memory.Take(prices[0], prices[1], &taken[0], &taken[1], &column);
    if (kind != TAMSELCHART_PRICE_OK) return refuse(kind, i + 1, column, prices[column]);
    highOut[i] = taken[0];
    lowOut[i] = taken[1];
    memory.Remember(taken[0], taken[1]);
  }
  return count;
}

int TAMSELCHART_CALL TamselChart_StreamSetMissingPolicy(TamselChart_Stream* stream, int policy) {
  if (stream == nullptr || !IsMissingPolicy(policy)) return 0;
  stream->missing.policy = policy;
  return 1;
}

int TAMSELCHART_CALL TamselChart_StreamMissingPolicy(const TamselChart_Stream* stream) {
  return stream != nullptr ? stream->missing.policy : TAMSELCHART_MISSING_ERROR;
}

namespace {

// One checked bar into target: the stream itself for a push, a scratch copy
// of it for a peek.
int StepChecked(TamselChart_Stream& target, double high, double low, TamselChart_Values* out,
                TamselChart_PriceProblem* problem) {
  float highTaken = 0.0f;
  float lowTaken = 0.0f;
  if (!TakeBar(target, high, low, &highTaken, &lowTaken, problem)) return 0;
  *out = target.indicators.Step(highTaken, lowTaken);
  target.missing.Remember(highTaken, lowTaken);
  return target.indicators.engine.BarNumber();
}

}  // namespace

int TAMSELCHART_CALL TamselChart_StreamPushPrices(TamselChart_Stream* stream, double high, double low,
                                                  TamselChart_Values* out, TamselChart_PriceProblem* problem) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr || out == nullptr) return 0;
  return StepChecked(*stream, high, low, out, problem);
}

int TAMSELCHART_CALL TamselChart_StreamPeekPrices(const TamselChart_Stream* stream, double high, double low,
                                                  TamselChart_Values* out, TamselChart_PriceProblem* problem) {
  const FloatEnvironmentGuard guard;
  if (stream == nullptr || out == nullptr) return 0;
  TamselChart_Stream scratch = *stream;
  return StepChecked(scratch, high, low, out, problem);
}

}  // extern "C"
