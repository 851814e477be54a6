// SPDX-License-Identifier: MIT
// The stream set.  Every member has a stream of its own, and a member that
// has pushed bar after bar beyond the start-up rules moves into a lane of
// the many-series engine, kept alive between pushes in groups of one
// vector's width, where one pass steps the whole group.  A member without
// a bar in an interval leaves its lane first, back into its own stream, so
// it does not advance; loads replace a member's stream and saves read it
// from wherever it lives.  Either way a member's values are its own stream's
// bits, and its snapshot that stream's bytes.
#include <cstddef>
#include <cstdint>
#include <new>

#include "TamselCharts.h"
#include "api/aligned_allocation.hpp"
#include "api/float_environment_guard.hpp"
#include "api/stream_state.hpp"
#include "series_lanes.hpp"

namespace tamsel {
namespace {

// A member alone enters a lane after this many bars in a row: a member that
// often skips an interval would leave again at once, and moving costs more
// than several of its pushes.
constexpr std::int32_t kBarsInRowToEnter = 16;

constexpr int kMaxGroupWidth = 8;  // the widest engine's lanes

struct MemberPlace {
  std::int32_t slot;       // group * Width + lane, or -1 while the member is alone
  std::int32_t barsInRow;  // consecutive intervals with a bar, up to kBarsInRowToEnter
};

// The fields of a stream's state in the order it visits them.
class FieldCollector {
 public:
  explicit FieldCollector(StreamFields& fields) : fields_(fields) { fields_.count = 0; }
  bool Complete() const { return complete_; }
  void Doubles(double* values, int count) { Add({values, nullptr, count}); }
  void NeverNaN(double& value) { Add({&value, nullptr, 1}); }
  void Position(std::int32_t& position, int limit) { Add({nullptr, &position, limit}); }
  // The fields may be written from a lane: what a stage derives from them
  // is taken again on its next bar.
  void Derived(bool& known) { known = false; }

 private:
  void Add(const StreamField& field) {
    if (fields_.count == kMaxStreamFields) {
      complete_ = false;
      return;
    }
    fields_.field[fields_.count++] = field;
  }
  StreamFields& fields_;
  bool complete_ = true;
};

bool CollectFields(TamselChart_Stream& stream, StreamFields& fields) {
  FieldCollector collect(fields);
  stream.indicators.VisitState(collect);
  return collect.Complete();
}

}  // namespace
}  // namespace tamsel

using namespace tamsel;

struct TamselChart_StreamSet {
  int memberCount;
  // Every member's stream.  While a member is in a lane its state lives
  // there; here only its bar number and missing-price memory stay current.
  TamselChart_Stream* members;
  MemberPlace* places;
  const SeriesLanesKernel* lanes;  // null when no member ever takes a lane
  int groupCount;
  unsigned char* groups;    // groupCount groups of lanes->GroupBytes
  std::int32_t* occupants;  // the member in each lane, -1 for a vacant one
  int vacantLanes;
  int searchFrom;  // where the search for a vacant lane starts
  // The floats each member's policy takes from an interval's prices, for a
  // push with the policies (made with the set: a push never allocates).
  float* takenHigh;
  float* takenLow;

  void* Group(int slot) const { return groups + static_cast<std::size_t>(slot / lanes->Width) * lanes->GroupBytes; }

  bool InLane(int member) const { return lanes != nullptr && places[member].slot >= 0; }

  // A member's state in its lane written into a stream (its own, or a copy
  // of it), the lane only read.
  void CopyFromLane(int member, TamselChart_Stream& into) const {
    const int slot = places[member].slot;
    StreamFields fields;
    CollectFields(into, fields);
    lanes->Leave(Group(slot), slot % lanes->Width, fields);
  }

  // The member alone again, its lane vacant.
  void Vacate(int member) {
    occupants[places[member].slot] = -1;
    places[member].slot = -1;
    ++vacantLanes;
  }

  // The member's state back into its own stream, its lane left vacant.
  void LeaveLane(int member) {
    if (!InLane(member)) return;
    CopyFromLane(member, members[member]);
    Vacate(member);
  }

  // A vacant lane, while vacantLanes > 0: the search goes on from the last
  // lane taken, so filling every lane in turn reads each once.
  int VacantLane() {
    const int slots = groupCount * lanes->Width;
    while (occupants[searchFrom] >= 0) searchFrom = searchFrom + 1 == slots ? 0 : searchFrom + 1;
    return searchFrom;
  }

  bool EnterLane(int member, int slot) {
    StreamFields fields;
    if (!CollectFields(members[member], fields) || !lanes->Enter(Group(slot), slot % lanes->Width, fields))
      return false;
    occupants[slot] = member;
    places[member].slot = slot;
    --vacantLanes;
    return true;
  }
};

namespace {

// Whether member i has a bar this interval (hasBar NULL: every member has).
bool HasBar(const unsigned char* hasBar, int i) { return hasBar == nullptr || hasBar[i] != 0; }

bool IsMember(const TamselChart_StreamSet* set, int member) {
  return set != nullptr && member >= 0 && member < set->memberCount;
}

void FreeSet(TamselChart_StreamSet* set) {
  FreeAligned(set->members);
  FreeAligned(set->places);
  FreeAligned(set->groups);
  FreeAligned(set->occupants);
  FreeAligned(set->takenHigh);
  FreeAligned(set->takenLow);
  FreeAligned(set);
}

// Groups for whole vectors of members only: a group costs its full width
// whatever it holds, so the members past the last whole group stay alone.
// A set too small for one group of the widest engine takes the groups of
// the next narrower one, which still step its members for less than their
// own streams.
// A group is trusted once a fresh stream has gone into it and out again.
// Without the memory for the groups (one block, which a 32-bit host's
// address space may not have where the members' streams fit), or without
// that trust, every member runs alone, as a set without lanes does.
void StartGroups(TamselChart_StreamSet& set) {
  const SeriesLanesKernel* widest = &ActiveSeriesLanes();
  const SeriesLanesKernel* narrower = NarrowerSeriesLanes(widest);
  const SeriesLanesKernel& lanes = set.memberCount < widest->Width && narrower != nullptr ? *narrower : *widest;
  if (lanes.Width < 2 || lanes.Width > kMaxGroupWidth) return;
  const int groupCount = set.memberCount / lanes.Width;
  if (groupCount == 0 || static_cast<std::size_t>(groupCount) > SIZE_MAX / lanes.GroupBytes) return;
  const std::size_t slots = static_cast<std::size_t>(groupCount) * static_cast<std::size_t>(lanes.Width);
  auto* groups = static_cast<unsigned char*>(
      AllocateAligned(static_cast<std::size_t>(groupCount) * lanes.GroupBytes, lanes.GroupAlignment));
  auto* occupants = static_cast<std::int32_t*>(AllocateAligned(slots * sizeof(std::int32_t), alignof(std::int32_t)));
  bool trusted = groups != nullptr && occupants != nullptr;
  if (trusted) {
    TamselChart_Stream fresh{};
    StreamFields fields;
    lanes.Start(groups);
    trusted = CollectFields(fresh, fields) && lanes.Enter(groups, 0, fields) && lanes.Leave(groups, 0, fields);
  }
  if (!trusted) {
    FreeAligned(groups);
    FreeAligned(occupants);
    return;
  }
  for (int g = 0; g < groupCount; ++g) lanes.Start(groups + static_cast<std::size_t>(g) * lanes.GroupBytes);
  for (std::size_t i = 0; i < slots; ++i) occupants[i] = -1;
  set.lanes = &lanes;
  set.groupCount = groupCount;
  set.groups = groups;
  set.occupants = occupants;
  set.vacantLanes = static_cast<int>(slots);
}

}  // namespace

extern "C" {

TamselChart_StreamSet* TAMSELCHART_CALL TamselChart_StreamSetCreate(int memberCount) {
  const FloatEnvironmentGuard guard;
  if (memberCount < 1 || static_cast<std::size_t>(memberCount) > SIZE_MAX / sizeof(TamselChart_Stream)) return nullptr;
  void* head = AllocateAligned(sizeof(TamselChart_StreamSet), alignof(TamselChart_StreamSet));
  if (head == nullptr) return nullptr;
  new (head) TamselChart_StreamSet{memberCount, nullptr, nullptr, nullptr, 0, nullptr, nullptr, 0, 0, nullptr, nullptr};
  TamselChart_StreamSet* set = std::launder(static_cast<TamselChart_StreamSet*>(head));
  const auto count = static_cast<std::size_t>(memberCount);
  void* block = AllocateAligned(count * sizeof(TamselChart_Stream), alignof(TamselChart_Stream));
  set->places = static_cast<MemberPlace*>(AllocateAligned(count * sizeof(MemberPlace), alignof(MemberPlace)));
  set->takenHigh = static_cast<float*>(AllocateAligned(count * sizeof(float), alignof(float)));
  set->takenLow = static_cast<float*>(AllocateAligned(count * sizeof(float), alignof(float)));
  if (block == nullptr || set->places == nullptr || set->takenHigh == nullptr || set->takenLow == nullptr) {
    FreeAligned(block);
    FreeSet(set);
    return nullptr;
  }
  StartGroups(*set);
  set->members = static_cast<TamselChart_Stream*>(block);
  for (std::size_t i = 0; i < count; ++i) {
    new (set->members + i) TamselChart_Stream{};
    set->places[i] = {-1, 0};
  }
  return set;
}

void TAMSELCHART_CALL TamselChart_StreamSetDestroy(TamselChart_StreamSet* set) {
  const FloatEnvironmentGuard guard;
  if (set != nullptr) FreeSet(set);
}

int TAMSELCHART_CALL TamselChart_StreamSetMemberCount(const TamselChart_StreamSet* set) {
  return set != nullptr ? set->memberCount : 0;
}

}  // extern "C"

namespace {

// One interval's bars into the set, its arguments checked.
int PushInterval(TamselChart_StreamSet* set, const float* high, const float* low, const unsigned char* hasBar,
                 TamselChart_Values* out) {
  // A member in a lane commits its bar as its stream's push would.
  const auto commit = [set](int i, float h, float l) {
    TamselChart_Stream& member = set->members[i];
    member.missing.Remember(h, l);
    std::int32_t& bar = member.indicators.engine.BarNumberState();
    if (bar < INT32_MAX) ++bar;
  };

  int pushed = 0;
  for (int i = 0; i < set->memberCount; ++i) {
    MemberPlace& place = set->places[i];
    if (!HasBar(hasBar, i)) {
      set->LeaveLane(i);
      place.barsInRow = 0;
      continue;
    }
    ++pushed;
    if (place.barsInRow < kBarsInRowToEnter) ++place.barsInRow;
    if (set->InLane(i)) continue;
    if (set->lanes != nullptr && set->vacantLanes > 0 && place.barsInRow == kBarsInRowToEnter &&
        set->members[i].indicators.engine.BarNumber() >= kLaneEntryBar && set->EnterLane(i, set->VacantLane()))
      continue;
    TamselChart_Stream& member = set->members[i];
    const float h = high[i];
    const float l = low[i];
    out[i] = member.indicators.Step(h, l);
    member.missing.Remember(h, l);
  }

  if (set->lanes == nullptr) return pushed;
  const int width = set->lanes->Width;
  for (int g = 0; g < set->groupCount; ++g) {
    float groupHigh[kMaxGroupWidth];
    float groupLow[kMaxGroupWidth];
    TamselChart_Values* groupOut[kMaxGroupWidth];
    bool any = false;
    for (int j = 0; j < width; ++j) {
      const std::int32_t member = set->occupants[g * width + j];
      groupOut[j] = member >= 0 ? &out[member] : nullptr;
      groupHigh[j] = member >= 0 ? high[member] : 0.0f;
      groupLow[j] = member >= 0 ? low[member] : 0.0f;
      any = any || member >= 0;
    }
    if (!any) continue;
    set->lanes->Step(set->Group(g * width), groupHigh, groupLow, groupOut);
    for (int j = 0; j < width; ++j)
      if (groupOut[j] != nullptr) commit(set->occupants[g * width + j], groupHigh[j], groupLow[j]);
  }
  return pushed;
}

}  // namespace

extern "C" {

int TAMSELCHART_CALL TamselChart_StreamSetPush(TamselChart_StreamSet* set, const float* high, const float* low,
                                               const unsigned char* hasBar, TamselChart_Values* out) {
  const FloatEnvironmentGuard guard;
  if (set == nullptr || high == nullptr || low == nullptr || out == nullptr) return 0;
  return PushInterval(set, high, low, hasBar, out);
}

int TAMSELCHART_CALL TamselChart_StreamSetSetMissingPolicy(TamselChart_StreamSet* set, int member, int policy) {
  if (!(IsMember(set, member) || (set != nullptr && member == -1)) || !IsMissingPolicy(policy)) return 0;
  const int first = member == -1 ? 0 : member;
  const int end = member == -1 ? set->memberCount : member + 1;
  for (int i = first; i < end; ++i) set->members[i].missing.policy = policy;
  return 1;
}

int TAMSELCHART_CALL TamselChart_StreamSetMemberMissingPolicy(const TamselChart_StreamSet* set, int member) {
  return IsMember(set, member) ? set->members[member].missing.policy : TAMSELCHART_MISSING_ERROR;
}

int TAMSELCHART_CALL TamselChart_StreamSetPushPrices(TamselChart_StreamSet* set, const double* high, const double* low,
                                                     const unsigned char* hasBar, TamselChart_Values* out,
                                                     TamselChart_PriceProblem* problem, int* member) {
  const FloatEnvironmentGuard guard;
  if (set == nullptr || high == nullptr || low == nullptr || out == nullptr) return 0;
  // Every member's prices are taken before any member advances, so a
  // refusal leaves the whole set as it was.  A member's bar number and
  // its memory of the prices last taken stay current in its own stream
  // while it is in a lane.
  if (problem != nullptr) *problem = TamselChart_PriceProblem{};
  for (int i = 0; i < set->memberCount; ++i) {
    if (HasBar(hasBar, i) &&
        !TakeBar(set->members[i], high[i], low[i], &set->takenHigh[i], &set->takenLow[i], problem)) {
      if (member != nullptr) *member = i;
      return -1;
    }
  }
  if (member != nullptr) *member = -1;
  return PushInterval(set, set->takenHigh, set->takenLow, hasBar, out);
}

int TAMSELCHART_CALL TamselChart_StreamSetSave(const TamselChart_StreamSet* set, int member, unsigned char* buffer,
                                               int capacity) {
  const FloatEnvironmentGuard guard;
  if (!IsMember(set, member)) return 0;
  if (!set->InLane(member)) return TamselChart_StreamSave(&set->members[member], buffer, capacity);
  TamselChart_Stream copy = set->members[member];
  set->CopyFromLane(member, copy);
  return TamselChart_StreamSave(&copy, buffer, capacity);
}

int TAMSELCHART_CALL TamselChart_StreamSetLoad(TamselChart_StreamSet* set, int member, const unsigned char* bytes,
                                               int size, int* reason) {
  if (!IsMember(set, member)) return -1;
  TamselChart_Stream* loaded = TamselChart_StreamLoad(bytes, size, reason);
  if (loaded == nullptr) return 0;
  const FloatEnvironmentGuard guard;
  // The loaded state replaces whatever the member's lane held.
  if (set->InLane(member)) set->Vacate(member);
  set->places[member].barsInRow = 0;
  set->members[member] = *loaded;
  TamselChart_StreamDestroy(loaded);
  return 1;
}

}  // extern "C"
