/* SPDX-License-Identifier: MIT */
/*
 * The snapshot digest every build computes for a library fuzz input, beside
 * the output digest (output_digest.h): a stream is pushed with the input's
 * bars and saved after bar cloneAfter (or the last, if sooner) and after the last bar, and the digest
 * is FNV-1a over the bytes of those two snapshots.  On the way it checks
 * that a snapshot loads and continues exactly as the stream it was saved
 * from: the stream loaded from the first snapshot saves the same bytes at
 * once, gives the never-saved stream's values bit for bit on every later
 * bar (and the batch values, when given) and saves the second snapshot's
 * bytes after the last bar.
 *
 * Since snapshots promise the same bytes on every build, two builds whose
 * snapshot digests of an input differ disagree about the stream's state even
 * where every output agrees.  The stream is reached through the calls below,
 * so that the native replay calls the library directly and the DLL test hosts
 * call their loaded DLL, with this one code.
 */
#ifndef TAMSEL_SNAPSHOT_DIGEST_H
#define TAMSEL_SNAPSHOT_DIGEST_H

#include "fuzz_series.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The stream exports as a host reaches them; streams are opaque handles. */
typedef struct {
  void* context;
  void* (*create)(void* context);
  /* Writes the bar's four values (TamselChart_Values' order) to values. */
  int (*push)(void* context, void* stream, float high, float low, float values[4]);
  int (*save)(void* context, const void* stream, unsigned char* buffer, int capacity);
  void* (*load)(void* context, const unsigned char* bytes, int size, int* reason);
  void (*destroy)(void* context, void* stream);
} TamselStreamCalls;

/* Computes *digest; batch (may be NULL) holds the four output series of the
   batch exports for the stream's values to equal.  Returns NULL, or what
   went wrong (a static string; *failedBar is the bar, 0 for none). */
const char* TamselSnapshotDigest(const TamselFuzzSeries* series, const float* const batch[4],
                                 const TamselStreamCalls* calls, uint64_t* digest, int* failedBar);

#ifdef __cplusplus
}
#endif

#endif
