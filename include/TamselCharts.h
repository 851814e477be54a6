/* SPDX-License-Identifier: MIT */
/*
 * TamselCharts: four cycle-based indicators of a market's high/low series.
 *
 * Every indicator is derived from one estimate of the price's cycle spectrum:
 * a bank of 49 band-pass filters tuned to periods of 6 to 30 bars runs over
 * the detrended mid price, and the strongest filters give the dominant cycle.
 *
 * Conventions shared by the batch exports (the IndicatorExport shape):
 *   high, low  the high and low price of each bar, oldest bar first; read only.
 *              Passing them swapped is allowed and documented per export.
 *   count      the number of bars; high, low and out hold at least count floats.
 *   out        receives exactly count values, one per bar; nothing past
 *              out[count - 1] is touched.
 *   return     count, or 0 when count < 1 or a pointer is NULL (then nothing is
 *              read or written).
 * Aliasing: an output may be the very array of an input (out == high
 * computes in place, each bar's prices being read before its value is
 * written), but may not otherwise overlap an input or another output; a call
 * whose arrays overlap in any other way returns 0 and writes nothing.
 * Each call starts from zeroed state and keeps nothing afterwards: equal inputs
 * give equal outputs bit for bit, a call over the first n bars writes the same
 * first n values as a longer call, and any number of threads may call at once.
 * Internally every value is an IEEE double; outputs are rounded to float.
 * Non-finite prices (NaN, infinities) never fail a call; each export says what
 * it writes after one.
 *
 * Floating-point environment: every function here computes in its own, with
 * all exceptions masked, round to nearest and denormals kept (no flush to
 * zero), whatever the caller has set: a host that unmasks exceptions (Delphi
 * runtimes do), rounds another way or runs the x87 at another precision gets
 * the same bits and no trap.  On return the caller's control words and
 * exception flags are exactly as they were, so nothing raised inside a call
 * becomes pending for the host.
 */
#ifndef TAMSELCHARTS_H
#define TAMSELCHARTS_H

/* The version of this header.  These three lines are where the project's
   version is set: the build, the packages and the DLL's version resource all
   read it from here. */
#define TAMSELCHARTS_VERSION_MAJOR 1
#define TAMSELCHARTS_VERSION_MINOR 2
#define TAMSELCHARTS_VERSION_PATCH 0

#if defined(_WIN32)
#define TAMSELCHART_CALL __cdecl
#if defined(TAMSELCHARTS_BUILDING)
#define TAMSELCHART_API __declspec(dllexport)
#else
#define TAMSELCHART_API
#endif
#else
#define TAMSELCHART_CALL
#if defined(TAMSELCHARTS_BUILDING)
#define TAMSELCHART_API __attribute__((visibility("default")))
#else
#define TAMSELCHART_API
#endif
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * The version of the library actually loaded, "MAJOR.MINOR.PATCH" (such as
 * "1.1.0"): a static string, never NULL, never to be freed.  A host built
 * against this header may compare it with the TAMSELCHARTS_VERSION_ macros;
 * the same major version keeps every export and its behaviour.
 */
TAMSELCHART_API const char* TAMSELCHART_CALL TamselChart_Version(void);

/* The common shape of the four batch exports. */
typedef int(TAMSELCHART_CALL* IndicatorExport)(const float* high, const float* low, int count, float* out);

/*
 * Cycle period: the length in bars of the cycle that dominates the price,
 * the five-bar median of the spectrum's centroid period.
 *   bars 1 and 2   0.0
 *   bars 3 to 14   exactly 18.0 while the filter bank warms up (it first runs on bar 13)
 *   from bar 15    6.0 to 30.0
 * A NaN price freezes the spectrum: from the following bar on the value repeats.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_CyclePeriod(const float* high, const float* low, int count,
                                                             float* out);

/*
 * Signal-to-noise ratio: the strength of the dominant cycle against the median
 * high-low range of the five newest bars, in decibels plus an offset, written
 * shifted up by one.
 *   values         1.0 (ratio below 1), 2.0 to 12.0, or 11.0 (ratio above 11)
 *   bars 1 to 12   1.0 (the cycle amplitude is zero before the filter bank runs)
 * A bar whose signal or noise amplitude is zero (or NaN) repeats the previous
 * bar's value.  With high and low swapped the ranges are negative and every
 * bar writes 1.0.  The range of bar 1 never enters the noise.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_SignalToNoiseRatio(const float* high, const float* low, int count,
                                                                    float* out);

/*
 * Swing position: where a band-pass tuned to the measured cycle, advanced by
 * about sixty degrees, stands between its lowest and highest values of the
 * last 51 bars: -5.0 at the bottom of the swing, +5.0 at the top.  It peaks
 * and troughs a little before the price does (about three bars early on a
 * 20-bar cycle).
 *   values         -5.0 to +5.0, or NaN on a bar whose 51-bar range is zero
 *                  (every bar of an all-zero series, for instance)
 *   bar 1          +5.0 for a positive first price, -5.0 for a negative one
 *   start-up       the tuned filter rings from the first bars' price level and
 *                  the full -5..+5 span returns after roughly 150 bars
 * After a NaN or infinite price every later value is NaN.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_SwingPosition(const float* high, const float* low, int count,
                                                               float* out);

/*
 * Trend vigor: the price change over about one measured cycle in units of the
 * cycle's amplitude, smoothed from bar to bar and limited.
 *   values         -10.0 to +10.0; near 0 in a market that only oscillates
 *   bars 1 to 14   large, with the sign of the price: the look-back reaches
 *                  before the first bar, so the whole price counts as change
 * A bar whose change over the cycle is exactly zero repeats the previous value;
 * after a NaN price every later bar repeats the last value before it.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_TrendVigor(const float* high, const float* low, int count, float* out);

/* The four values of one bar. */
typedef struct TamselChart_Values {
  float CyclePeriod;
  float SignalToNoiseRatio;
  float SwingPosition;
  float TrendVigor;
} TamselChart_Values;

/*
 * All four indicators from one pass of the engine, about a quarter of the cost
 * of four calls.  Each output equals its single export bit for bit; a NULL
 * output is skipped (and its indicator not computed).  Returns count, or 0
 * when count < 1 or high or low is NULL.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_AllIndicators(const float* high, const float* low, int count,
                                                               float* cyclePeriod, float* signalToNoiseRatio,
                                                               float* swingPosition, float* trendVigor);

/*
 * A stream computes the four indicators one bar at a time, for live data.
 * Pushing a series bar by bar gives at every bar exactly the batch values of
 * that prefix.  A stream is owned by its creator and freed with
 * TamselChart_StreamDestroy; it holds about 12 KiB and no other resource.
 * One stream must not be used by two threads at once; distinct streams may.
 */
typedef struct TamselChart_Stream TamselChart_Stream;

/* A new stream at bar 1; NULL when out of memory. */
TAMSELCHART_API TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamCreate(void);
/* An independent copy that continues exactly as the original; NULL when out of
   memory or stream is NULL.  Free it with TamselChart_StreamDestroy. */
TAMSELCHART_API TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamClone(const TamselChart_Stream* stream);
/* Back to bar 1, as a fresh stream.  NULL is ignored. */
TAMSELCHART_API void TAMSELCHART_CALL TamselChart_StreamReset(TamselChart_Stream* stream);
/* Frees the stream.  NULL is ignored. */
TAMSELCHART_API void TAMSELCHART_CALL TamselChart_StreamDestroy(TamselChart_Stream* stream);
/* Commits one closed bar and writes its four values to *out.  Returns the
   bar's number (1 for the first bar), or 0 when stream or out is NULL, in
   which case nothing is committed. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamPush(TamselChart_Stream* stream, float high, float low,
                                                            TamselChart_Values* out);
/* The values the bar would get if it were pushed now, without committing it:
   for the still-forming bar.  Returns the number the bar would have, or 0 when
   stream or out is NULL.  A later push of the same bar gives the same values. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamPeek(const TamselChart_Stream* stream, float high, float low,
                                                            TamselChart_Values* out);

/*
 * The indicator table: what every front end shows of the four indicators, in
 * the order of TamselChart_Values and of TamselChart_AllIndicators' outputs.
 * Front ends take column names, warm-up and ranges from here rather than
 * keeping copies of their own.
 *
 * Start-up (warm-up) bars are the first bars whose value still reflects the
 * zeroed state before bar 1 rather than the prices.  They are written like
 * any other value; a host that wants no value there blanks or skips them.
 *   indicator        bars  values on those bars
 *   cycle_period     14    0 on bars 1-2, exactly 18 on bars 3-14
 *   signal_to_noise  12    exactly 1.0
 *   swing_position   50    its 51-bar high/low window still holds 0.0 start values
 *   trend_vigor      29    the one-cycle price change reaches back before bar 1
 *                          (always on bars 1-14; the cycle is at most 30 bars)
 */
typedef struct TamselChart_IndicatorInfo {
  const char* column;      /* "cycle_period": the name of its column in every front end */
  const char* title;       /* "Cycle period": for a chart or a table heading */
  const char* exportName;  /* "TamselChart_CyclePeriod" */
  IndicatorExport compute; /* that export */
  int warmupBars;          /* start-up bars, as tabled above */
  float lowest;            /* every value on finite prices lies in lowest..highest */
  float highest;
  int mayBeNaN; /* 1: NaN on finite prices too (swing position, where the 51-bar range is zero) */
} TamselChart_IndicatorInfo;

/* The number of indicators, 4. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_IndicatorCount(void);
/* Indicator index (0 to TamselChart_IndicatorCount() - 1): a static entry,
   never to be freed; NULL for any other index. */
TAMSELCHART_API const TamselChart_IndicatorInfo* TAMSELCHART_CALL TamselChart_Indicator(int index);

/*
 * The column-name rule of every front end that finds the high and low prices
 * by name: 1 when the header name names the wanted column (such as "high"),
 * 0 otherwise or when either is NULL.  Names compare without regard to ASCII
 * case or surrounding blanks and tabs; one pair of enclosing <> is dropped
 * (<HIGH>, as some trading platforms export); a header name with dots also
 * matches by its last part (AAPL.High, as quantmod names its columns).  Nothing else counts:
 * "SlowMA", "Lowest" and "HighWaterMark" name no price.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_ColumnNameMatches(const char* name, const char* wanted);

/*
 * The missing-price policy: what a front end does with a price it cannot hand
 * to the indicators as a number.  Front ends turn a missing price of their
 * own kind (an empty cell, None, NA, a masked value) into NaN and leave the
 * rest to these functions, so every front end refuses and fills alike.
 *   TAMSELCHART_MISSING_ERROR     refuse a NaN, infinite or out-of-range price
 *   TAMSELCHART_MISSING_PREVIOUS  a NaN price repeats the same column's price of
 *                                 the bar before (refused on the first bar, which
 *                                 has none); infinite and out-of-range prices are
 *                                 refused
 *   TAMSELCHART_MISSING_NAN       every price goes to the indicators as it is: NaN
 *                                 and infinities pass, a finite price beyond float
 *                                 range becomes the infinity of its sign
 */
#define TAMSELCHART_MISSING_ERROR 0
#define TAMSELCHART_MISSING_PREVIOUS 1
#define TAMSELCHART_MISSING_NAN 2

/* The policy's word in every front end ("error", "previous", "nan"); NULL for
   a number that is no policy. */
TAMSELCHART_API const char* TAMSELCHART_CALL TamselChart_MissingPolicyName(int policy);

/* What stopped a call under the policy. */
#define TAMSELCHART_PRICE_OK 0
#define TAMSELCHART_PRICE_MISSING 1      /* NaN (a missing price) */
#define TAMSELCHART_PRICE_INFINITE 2     /* +inf or -inf */
#define TAMSELCHART_PRICE_OUT_OF_RANGE 3 /* finite, but beyond a 32-bit float's range */
#define TAMSELCHART_PRICE_NO_PREVIOUS 4  /* missing on the first bar, with nothing to repeat */
#define TAMSELCHART_PRICE_BAD_POLICY 5   /* the policy number is none of the three */

#define TAMSELCHART_COLUMN_HIGH 0
#define TAMSELCHART_COLUMN_LOW 1

typedef struct TamselChart_PriceProblem {
  int kind;     /* TAMSELCHART_PRICE_ */
  int bar;      /* the bar's number in time order, 1 for the first; 0 if none */
  int column;   /* TAMSELCHART_COLUMN_HIGH or _LOW */
  double price; /* the price as given */
} TamselChart_PriceProblem;

/* A short description of a problem's kind, such as "missing price (NaN)",
   for a front end to build its message around: a static string, never NULL. */
TAMSELCHART_API const char* TAMSELCHART_CALL TamselChart_PriceProblemText(int kind);

/*
 * The prices of a batch under the policy: count bars of high and low (double,
 * so that a price beyond float range is seen as such) into highOut and lowOut
 * as the floats the indicators take.  Returns count; or 0 when count < 1 or a
 * pointer is NULL, and 0 with *problem describing the first bar (in order,
 * high before low) the policy refuses; problem may be NULL.  highOut and lowOut
 * may not overlap the inputs.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_ApplyMissingPolicy(const double* high, const double* low, int count,
                                                                    int policy, float* highOut, float* lowOut,
                                                                    TamselChart_PriceProblem* problem);

/*
 * A stream's own policy, TAMSELCHART_MISSING_ERROR when created: returns 1, or
 * 0 (and changes nothing) for a NULL stream or a number that is no policy.
 * The stream remembers the last prices it was given for "previous"; a clone
 * and a reset keep the policy.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetMissingPolicy(TamselChart_Stream* stream, int policy);
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamMissingPolicy(const TamselChart_Stream* stream);

/*
 * Push and peek with the stream's policy applied to prices given as doubles.
 * Returns the bar's number; or 0 when stream or out is NULL, and 0 with
 * *problem filled (problem may be NULL) when the policy refuses a price; a
 * refused bar commits nothing and the stream goes on as before it.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamPushPrices(TamselChart_Stream* stream, double high, double low,
                                                                  TamselChart_Values* out,
                                                                  TamselChart_PriceProblem* problem);
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamPeekPrices(const TamselChart_Stream* stream, double high,
                                                                  double low, TamselChart_Values* out,
                                                                  TamselChart_PriceProblem* problem);

/*
 * Snapshots: a stream saved as plain bytes and loaded again, on this build or
 * any other (32- or 64-bit, x86 or Arm, Windows, Linux or WebAssembly), to go
 * on exactly as the saved stream would have.  The bytes hold no pointers, no
 * padding and no host byte order: the same stream gives the same bytes on
 * every build.  docs/snapshot-format.md describes the format.
 */
#define TAMSELCHART_SNAPSHOT_MAX_BYTES 16384

/* Writes the stream's snapshot into buffer when capacity is enough, and
   returns its size in bytes either way (at most
   TAMSELCHART_SNAPSHOT_MAX_BYTES), so buffer may be NULL to ask for the size;
   0 for a NULL stream.  Nothing is written when capacity is too small. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSave(const TamselChart_Stream* stream, unsigned char* buffer,
                                                            int capacity);

/* Why a snapshot could not be loaded. */
#define TAMSELCHART_SNAPSHOT_OK 0
#define TAMSELCHART_SNAPSHOT_TOO_SHORT 1      /* fewer bytes than a snapshot, or than it says it holds */
#define TAMSELCHART_SNAPSHOT_NOT_A_SNAPSHOT 2 /* no snapshot's mark at the start */
#define TAMSELCHART_SNAPSHOT_UNKNOWN_FORMAT 3 /* a format this library does not read (a newer one) */
#define TAMSELCHART_SNAPSHOT_DAMAGED 4        /* the checksum or the size disagrees: changed or cut */
#define TAMSELCHART_SNAPSHOT_UNREACHABLE 5    /* intact, but a state no stream can be in */
#define TAMSELCHART_SNAPSHOT_OUT_OF_MEMORY 6

/* A new stream from size bytes of a snapshot: it continues as the saved
   stream would have, its missing-price policy included.  NULL when the bytes
   are no snapshot this library can take (bytes may be NULL only with size
   0); *reason (reason may be NULL) says why, TAMSELCHART_SNAPSHOT_OK on
   success.  Free the stream with TamselChart_StreamDestroy. */
TAMSELCHART_API TamselChart_Stream* TAMSELCHART_CALL TamselChart_StreamLoad(const unsigned char* bytes, int size,
                                                                            int* reason);

/* A sentence for a reason, such as "not a snapshot of a TamselCharts stream":
   a static string, never NULL. */
TAMSELCHART_API const char* TAMSELCHART_CALL TamselChart_SnapshotProblemText(int reason);

/*
 * Many series at once: a screen of symbols, each series computed exactly as
 * its own TamselChart_AllIndicators call or its own stream would compute it,
 * bit for bit, whatever the other series hold (NaN, infinities, other
 * lengths).  The library starts no threads; calls on different data may run
 * on several threads at once.
 */

/* One series of a many-series batch: its prices and where its values go, as
   the arguments of TamselChart_AllIndicators. */
typedef struct TamselChart_SeriesIO {
  const float* high;         /* count bars, oldest first; read only */
  const float* low;          /* count bars, oldest first; read only */
  int count;                 /* the number of bars of this series */
  float* cyclePeriod;        /* count values, or NULL: not computed */
  float* signalToNoiseRatio; /* count values, or NULL: not computed */
  float* swingPosition;      /* count values, or NULL: not computed */
  float* trendVigor;         /* count values, or NULL: not computed */
} TamselChart_SeriesIO;

/*
 * All four indicators of seriesCount series in one call.
 *   seriesCount  the number of entries of series
 *   series       the series; read only (the entries, not the outputs they
 *                point to)
 *   return       the number of series computed; 0 when seriesCount < 1 or
 *                series is NULL
 * Each computed series gets exactly the values of TamselChart_AllIndicators
 * on its own prices.  A series is skipped, its outputs untouched, when its
 * count is below 1, high or low is NULL, or its own arrays overlap in a way
 * TamselChart_AllIndicators refuses (an output may be exactly its own input).
 * Series may share their prices; but when an output of one series overlaps
 * any array of another series, the whole call returns 0 and writes nothing
 * (the series are computed side by side, so neither order could be meant).
 * The call also returns 0, writing nothing, when it cannot get the little
 * memory its check of the arrays needs (about 150 bytes a series).
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_AllIndicatorsMany(int seriesCount, const TamselChart_SeriesIO* series);

/*
 * A stream set: one stream for each of a fixed number of series (members,
 * numbered from 0), pushed together one interval at a time.  Each member
 * gives at every bar exactly the values of a stream of its own pushed with
 * the same bars.  Owned by its creator, freed with TamselChart_StreamSetDestroy;
 * about 12 KiB a member, and about as much again where the processor's
 * vectors let members that have a bar interval after interval be computed
 * together, several in one pass (a set that cannot have that memory runs
 * each member alone).  All of it is taken when the set is made, and no other
 * resource: a push never allocates.  One set must not be used by two threads
 * at once; distinct sets may.
 */
typedef struct TamselChart_StreamSet TamselChart_StreamSet;

/* A new set of memberCount streams, each at bar 1 with the missing-price
   policy TAMSELCHART_MISSING_ERROR; NULL when memberCount < 1 or out of
   memory. */
TAMSELCHART_API TamselChart_StreamSet* TAMSELCHART_CALL TamselChart_StreamSetCreate(int memberCount);
/* Frees the set and its members.  NULL is ignored. */
TAMSELCHART_API void TAMSELCHART_CALL TamselChart_StreamSetDestroy(TamselChart_StreamSet* set);
/* The number of members; 0 for NULL. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetMemberCount(const TamselChart_StreamSet* set);

/*
 * Commits one interval's closed bars.
 *   high, low  one price per member (member i's bar at index i); read only
 *   hasBar     one flag per member: 0 for a member with no bar this interval
 *              (a symbol that did not trade), which does not advance and
 *              whose out entry is untouched (nor are its prices read);
 *              NULL when every member has a bar
 *   out        one entry per member: the values of member i's new bar
 *   return     the number of members that took a bar; 0 when set, high, low
 *              or out is NULL, in which case nothing is committed
 * Each member's push is TamselChart_StreamPush on its own stream.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetPush(TamselChart_StreamSet* set, const float* high,
                                                               const float* low, const unsigned char* hasBar,
                                                               TamselChart_Values* out);

/*
 * A member's missing-price policy, which TamselChart_StreamSetPushPrices
 * applies as TamselChart_StreamPushPrices applies a stream's: every member
 * starts with TAMSELCHART_MISSING_ERROR, and a load brings the snapshot's.
 * member -1 sets every member's.  Returns 1, or 0 (and changes nothing) for
 * a NULL set, a member number out of range or a number that is no policy.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetSetMissingPolicy(TamselChart_StreamSet* set, int member,
                                                                           int policy);
/* A member's policy; TAMSELCHART_MISSING_ERROR for a NULL set or a member
   number out of range. */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetMemberMissingPolicy(const TamselChart_StreamSet* set,
                                                                              int member);

/*
 * TamselChart_StreamSetPush with each member's missing-price policy applied
 * to prices given as doubles (so that a price beyond float range is seen as
 * such), as TamselChart_StreamPushPrices applies a stream's.  All or
 * nothing: when a member's policy refuses a price, no member advances and
 * no out entry is written.
 *   problem  filled as TamselChart_StreamPushPrices fills it, for the first
 *            refused price in member order (its bar is that member's next
 *            bar); zeroed when every price is taken; may be NULL
 *   member   the refusing member, or -1 when every price is taken; may be
 *            NULL
 *   return   the number of members that took a bar; -1 when a price is
 *            refused; 0 when set, high, low or out is NULL (nothing
 *            committed, *problem and *member untouched)
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetPushPrices(TamselChart_StreamSet* set, const double* high,
                                                                     const double* low, const unsigned char* hasBar,
                                                                     TamselChart_Values* out,
                                                                     TamselChart_PriceProblem* problem, int* member);

/*
 * One member as a stream snapshot: the same bytes TamselChart_StreamSave
 * writes for a stream in the member's state, so a member saved here loads
 * as a stream (TamselChart_StreamLoad) and a stream's snapshot loads into a
 * member.  Returns the snapshot's size, writing it only when capacity is
 * enough (buffer may be NULL to ask the size); 0 for a NULL set or a member
 * number out of range.
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetSave(const TamselChart_StreamSet* set, int member,
                                                               unsigned char* buffer, int capacity);

/*
 * Replaces a member with the stream of a snapshot (as TamselChart_StreamLoad
 * takes it, its missing-price policy included).  Returns 1 when loaded; 0
 * when the bytes are refused, with *reason (reason may be NULL) saying why
 * and the member unchanged; -1 for a NULL set or a member number out of
 * range (nothing read, *reason untouched).
 */
TAMSELCHART_API int TAMSELCHART_CALL TamselChart_StreamSetLoad(TamselChart_StreamSet* set, int member,
                                                               const unsigned char* bytes, int size, int* reason);

#ifdef __cplusplus
}
#endif

#endif /* TAMSELCHARTS_H */
