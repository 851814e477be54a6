/* SPDX-License-Identifier: MIT */
/*
 * The PostgreSQL front end of TamselCharts: what the window functions and the
 * aggregate share.  Each call site keeps one library stream per partition
 * (or per group) and pushes one bar per row, so a partition of n bars costs
 * n pushes, never a recomputation from its first bar.
 */
#ifndef TAMSEL_PG_H
#define TAMSEL_PG_H

#include "postgres.h"

#include "fmgr.h"
#include "utils/memutils.h"

#include "TamselCharts.h"

/* What the settings and the optional arguments ask of one call. */
typedef struct TamselCallOptions {
  int missingPolicy; /* TAMSELCHART_MISSING_ */
  /* warm-up bars written as NaN, per indicator in table order (0: keep the
     library's start-up values) */
  int warmupBars[4];
} TamselCallOptions;

/* Setting tamselcharts.missing and tamselcharts.warmup; called from _PG_init. */
void TamselDefineSettings(void);

/* The options of a call: argument missingArg and warmupArg (fcinfo positions,
   -1 when the function has none) when given and not NULL, else the settings.
   `argument` reads an argument the way the caller's kind of function does. */
typedef Datum (*TamselArgumentReader)(FunctionCallInfo fcinfo, int argno, bool* isNull);
void TamselReadOptions(FunctionCallInfo fcinfo, TamselArgumentReader argument, int missingArg, int warmupArg,
                       TamselCallOptions* options);

/* A price argument (double precision or numeric; NULL is a missing price) as
   the double the library's policy looks at.  A numeric beyond double range
   becomes the largest double of its sign, so that the policy sees it as a
   price beyond float range rather than as an infinity. */
double TamselPriceAsDouble(FunctionCallInfo fcinfo, int argno, Datum value, bool isNull);

/* A price argument as the user wrote it, for a message. */
char* TamselPriceText(FunctionCallInfo fcinfo, int argno, Datum value, bool isNull);

/* Raises the error for a price the policy refused.  where names the bar
   ("bar 2 of the partition", "bar 2 (ts 2024-01-02) of the group"). */
pg_attribute_noreturn() void TamselReportPriceProblem(const char* function, const char* where,
                                                      const TamselChart_PriceProblem* problem, const char* priceText);

/* A new stream with the call's policy, freed when `context` is reset or
   deleted (the end of the partition or group, or an error). */
TamselChart_Stream* TamselStreamIn(MemoryContext context, int missingPolicy);

/* The bar's values with the warm-up bars blanked as asked, one per
   indicator in table order. */
void TamselBlankWarmup(const TamselCallOptions* options, int bar, float values[4]);

#endif
