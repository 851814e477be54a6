// SPDX-License-Identifier: MIT
// The stream set: its members are ordinary streams side by side, each pushed
// as TamselChart_StreamPush pushes one, and saved and loaded through the
// stream snapshot itself, so a member and a stream are interchangeable.
#include <cstddef>
#include <cstdint>
#include <new>

#include "TamselCharts.h"
#include "api/aligned_allocation.hpp"
#include "api/float_environment_guard.hpp"
#include "api/stream_state.hpp"

struct TamselChart_StreamSet {
  int memberCount;
  TamselChart_Stream* members;  // memberCount streams in one block
};

using namespace tamsel;

namespace {

bool IsMember(const TamselChart_StreamSet* set, int member) {
  return set != nullptr && member >= 0 && member < set->memberCount;
}

}  // namespace

extern "C" {

TamselChart_StreamSet* TAMSELCHART_CALL TamselChart_StreamSetCreate(int memberCount) {
  const FloatEnvironmentGuard guard;
  if (memberCount < 1 || static_cast<std::size_t>(memberCount) > SIZE_MAX / sizeof(TamselChart_Stream)) return nullptr;
  void* head = AllocateAligned(sizeof(TamselChart_StreamSet), alignof(TamselChart_StreamSet));
  if (head == nullptr) return nullptr;
  void* block =
      AllocateAligned(static_cast<std::size_t>(memberCount) * sizeof(TamselChart_Stream), alignof(TamselChart_Stream));
  if (block == nullptr) {
    FreeAligned(head);
    return nullptr;
  }
  auto* members = static_cast<TamselChart_Stream*>(block);
  for (int i = 0; i < memberCount; ++i) new (members + i) TamselChart_Stream{};
  return new (head) TamselChart_StreamSet{memberCount, members};
}

void TAMSELCHART_CALL TamselChart_StreamSetDestroy(TamselChart_StreamSet* set) {
  const FloatEnvironmentGuard guard;
  if (set == nullptr) return;
  FreeAligned(set->members);
  FreeAligned(set);
}

int TAMSELCHART_CALL TamselChart_StreamSetMemberCount(const TamselChart_StreamSet* set) {
  return set != nullptr ? set->memberCount : 0;
}

int TAMSELCHART_CALL TamselChart_StreamSetPush(TamselChart_StreamSet* set, const float* high, const float* low,
                                               const unsigned char* hasBar, TamselChart_Values* out) {
  const FloatEnvironmentGuard guard;
  if (set == nullptr || high == nullptr || low == nullptr || out == nullptr) return 0;
  int pushed = 0;
  for (int i = 0; i < set->memberCount; ++i) {
    if (hasBar != nullptr && hasBar[i] == 0) continue;
    TamselChart_Stream& member = set->members[i];
    const float h = high[i];
    const float l = low[i];
    out[i] = member.indicators.Step(h, l);
    member.missing.Remember(h, l);
    ++pushed;
  }
  return pushed;
}

int TAMSELCHART_CALL TamselChart_StreamSetSave(const TamselChart_StreamSet* set, int member, unsigned char* buffer,
                                               int capacity) {
  if (!IsMember(set, member)) return 0;
  return TamselChart_StreamSave(&set->members[member], buffer, capacity);
}

int TAMSELCHART_CALL TamselChart_StreamSetLoad(TamselChart_StreamSet* set, int member, const unsigned char* bytes,
                                               int size, int* reason) {
  if (!IsMember(set, member)) return -1;
  TamselChart_Stream* loaded = TamselChart_StreamLoad(bytes, size, reason);
  if (loaded == nullptr) return 0;
  set->members[member] = *loaded;
  TamselChart_StreamDestroy(loaded);
  return 1;
}

}  // extern "C"
