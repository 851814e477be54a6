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
/*
 * Start-up (warm-up) bars: the first bars of each indicator whose value still
 * reflects the zeroed state before bar 1 rather than the prices.  They are
 * written like any other value; a host that wants no value there (as ta-lib's
 * look-back gives none) blanks or skips them.
 *   indicator        bars  export                          values on those bars
 *   cycle_period     14    TamselChart_CyclePeriod         0 on bars 1-2, exactly 18 on bars 3-14
 *   signal_to_noise  12    TamselChart_SignalToNoiseRatio  exactly 1.0
 *   swing_position   50    TamselChart_SwingPosition       its 51-bar high/low window still holds 0.0 start values
 *   trend_vigor      29    TamselChart_TrendVigor          the one-cycle price change reaches back before bar 1
 *                                                          (always on bars 1-14; the cycle is at most 30 bars)
 */
#ifndef TAMSELCHARTS_H
#define TAMSELCHARTS_H

/* The version of this header.  These three lines are where the project's
   version is set: the build, the packages and the DLL's version resource all
   read it from here. */
#define TAMSELCHARTS_VERSION_MAJOR 1
#define TAMSELCHARTS_VERSION_MINOR 1
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

#ifdef __cplusplus
}
#endif

#endif /* TAMSELCHARTS_H */
