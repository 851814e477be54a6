/* SPDX-License-Identifier: MIT */
/* See snapshot_digest.h. */
#include "snapshot_digest.h"

#include <stdlib.h>
#include <string.h>

#include "../include/TamselCharts.h"

enum { kCapacity = TAMSELCHART_SNAPSHOT_MAX_BYTES, kUntouched = 0xA5 };

typedef struct {
  unsigned char* bytes;
  int size;
} Snapshot;

static uint64_t Fnv1a(uint64_t digest, const unsigned char* bytes, int size) {
  for (int i = 0; i < size; ++i) digest = (digest ^ bytes[i]) * 0x100000001b3ULL;
  return digest;
}

/* Bit for bit, any NaN equal to any NaN, as the outputs are compared. */
static int SameValue(float a, float b) { return memcmp(&a, &b, sizeof a) == 0 || (a != a && b != b); }

/* Asks the size, checks that a buffer one byte short is left alone, then
   saves.  NULL or the failure. */
static const char* Save(const TamselStreamCalls* calls, const void* stream, Snapshot* into) {
  const int size = calls->save(calls->context, stream, NULL, 0);
  if (size < 1 || size > kCapacity) return "StreamSave gave a size outside 1..TAMSELCHART_SNAPSHOT_MAX_BYTES";
  memset(into->bytes, kUntouched, kCapacity);
  if (calls->save(calls->context, stream, into->bytes, size - 1) != size)
    return "StreamSave into a buffer one byte short did not return the size";
  for (int i = 0; i < kCapacity; ++i)
    if (into->bytes[i] != kUntouched) return "StreamSave wrote into a buffer one byte short";
  if (calls->save(calls->context, stream, into->bytes, kCapacity) != size) return "StreamSave changed its size";
  for (int i = size; i < kCapacity; ++i)
    if (into->bytes[i] != kUntouched) return "StreamSave wrote past the size it returned";
  into->size = size;
  return NULL;
}

static int SameSnapshot(const Snapshot* a, const Snapshot* b) {
  return a->size == b->size && memcmp(a->bytes, b->bytes, (size_t)a->size) == 0;
}

const char* TamselSnapshotDigest(const TamselFuzzSeries* series, const float* const batch[4],
                                 const TamselStreamCalls* calls, uint64_t* digest, int* failedBar) {
  /* An input may name a bar past its last one: the snapshot is then saved
     after the last bar, twice. */
  const int count = series->count, resumeAt = series->cloneAfter < count ? series->cloneAfter : count;
  const char* failure = NULL;
  int reason = -1;
  *failedBar = 0;
  Snapshot atResume = {malloc(kCapacity), 0}, atEnd = {malloc(kCapacity), 0}, resumed = {malloc(kCapacity), 0};
  float* values = malloc(sizeof(float) * 4 * (size_t)(count > 0 ? count : 1));
  void* stream = calls->create(calls->context);
  void* loaded = NULL;
  if (atResume.bytes == NULL || atEnd.bytes == NULL || resumed.bytes == NULL || values == NULL || stream == NULL) {
    failure = "out of memory";
    goto done;
  }

  /* The stream that is never saved and loaded: its values and snapshots. */
  for (int i = 0; i <= count && failure == NULL; ++i) {
    if (i == resumeAt) failure = Save(calls, stream, &atResume);
    if (i == count || failure != NULL) break;
    if (calls->push(calls->context, stream, series->high[i], series->low[i], values + 4 * i) != i + 1)
      failure = "StreamPush returned the wrong bar number";
    for (int k = 0; k < 4 && failure == NULL && batch != NULL; ++k)
      if (!SameValue(values[4 * i + k], batch[k][i])) failure = "a stream's value differs from the batch export's";
    if (failure != NULL) *failedBar = i + 1;
  }
  if (failure == NULL) failure = Save(calls, stream, &atEnd);
  if (failure != NULL) goto done;

  /* The stream loaded from the first snapshot goes on as the saved one. */
  loaded = calls->load(calls->context, atResume.bytes, atResume.size, &reason);
  if (loaded == NULL || reason != TAMSELCHART_SNAPSHOT_OK) {
    failure = "StreamLoad refused a snapshot StreamSave had just written";
    goto done;
  }
  if ((failure = Save(calls, loaded, &resumed)) != NULL) goto done;
  if (!SameSnapshot(&resumed, &atResume)) {
    failure = "a loaded stream saves other bytes than it was loaded from";
    goto done;
  }
  for (int i = resumeAt; i < count && failure == NULL; ++i) {
    float got[4];
    if (calls->push(calls->context, loaded, series->high[i], series->low[i], got) != i + 1)
      failure = "a loaded stream numbered a bar otherwise than the saved one";
    for (int k = 0; k < 4 && failure == NULL; ++k)
      if (!SameValue(got[k], values[4 * i + k])) failure = "a loaded stream's value differs from the saved stream's";
    if (failure != NULL) *failedBar = i + 1;
  }
  if (failure == NULL) failure = Save(calls, loaded, &resumed);
  if (failure == NULL && !SameSnapshot(&resumed, &atEnd))
    failure = "a loaded stream ends in another state than the stream it was saved from";
  if (failure == NULL)
    *digest = Fnv1a(Fnv1a(0xcbf29ce484222325ULL, atResume.bytes, atResume.size), atEnd.bytes, atEnd.size);

done:
  if (loaded != NULL) calls->destroy(calls->context, loaded);
  if (stream != NULL) calls->destroy(calls->context, stream);
  free(values);
  free(atResume.bytes);
  free(atEnd.bytes);
  free(resumed.bytes);
  return failure;
}
