/* SPDX-License-Identifier: MIT */
/*
 * tamsel_last_indicators(ts, high, low ORDER BY ts): the four values of a
 * group's last bar, for "the latest value of every symbol" with GROUP BY.
 *
 * The time stamp is an argument so that the aggregate can see the order it
 * is fed in: each bar's time stamp must be later than the one before, so a
 * call without ORDER BY ts (or a group with two bars at one time stamp) is
 * refused instead of giving values that depend on the order PostgreSQL
 * happened to read the rows in.  The state is one stream in the aggregate's
 * memory; there is no combine function (two halves of a series cannot be
 * joined: every bar depends on all bars before it).
 */
#include "tamsel_pg.h"

#include "access/htup_details.h"
#include "funcapi.h"
#include "miscadmin.h"
#include "utils/builtins.h"
#include "utils/datum.h"
#include "utils/lsyscache.h"
#include "utils/typcache.h"

PG_FUNCTION_INFO_V1(tamsel_last_step);
PG_FUNCTION_INFO_V1(tamsel_last_values);

enum { kStateArg = 0, kTimeArg = 1, kHighArg = 2, kLowArg = 3, kMissingArg = 4, kWarmupArg = 5 };

typedef struct LastBarState {
  TamselChart_Stream* stream;
  TamselCallOptions options;
  int bars;
  TamselChart_Values last;
  /* the last bar's time stamp, a copy in the aggregate's memory */
  Datum lastTime;
  Oid timeType;
  int16 timeLength;
  bool timeByValue;
  FmgrInfo* compare; /* the type's btree comparison */
  Oid collation;
} LastBarState;

static Datum PlainArgument(FunctionCallInfo fcinfo, int argno, bool* isNull) {
  *isNull = PG_ARGISNULL(argno);
  return *isNull ? (Datum)0 : PG_GETARG_DATUM(argno);
}

static char* TimeText(const LastBarState* state, Datum time) {
  Oid output;
  bool isVarlena;
  getTypeOutputInfo(state->timeType, &output, &isVarlena);
  return OidOutputFunctionCall(output, time);
}

static LastBarState* NewState(FunctionCallInfo fcinfo, MemoryContext context) {
  LastBarState* state = MemoryContextAllocZero(context, sizeof(LastBarState));
  TamselReadOptions(fcinfo, PlainArgument, kMissingArg, kWarmupArg, &state->options);
  state->timeType = get_fn_expr_argtype(fcinfo->flinfo, kTimeArg);
  TypeCacheEntry* type = lookup_type_cache(state->timeType, TYPECACHE_CMP_PROC_FINFO);
  if (!OidIsValid(type->cmp_proc_finfo.fn_oid))
    ereport(ERROR, (errcode(ERRCODE_UNDEFINED_FUNCTION),
                    errmsg("tamsel_last_indicators: the time stamp's type %s has no ordering",
                           format_type_be(state->timeType)),
                    errhint("Pass the bars' time stamp (timestamp, date, an integer bar number, ...).")));
  state->compare = &type->cmp_proc_finfo;
  state->collation = PG_GET_COLLATION();
  get_typlenbyval(state->timeType, &state->timeLength, &state->timeByValue);
  state->stream = TamselStreamIn(context, state->options.missingPolicy);
  return state;
}

static void CheckTimeOrder(LastBarState* state, Datum time, bool timeIsNull, MemoryContext context) {
  int bar = state->bars + 1;
  if (timeIsNull)
    ereport(ERROR, (errcode(ERRCODE_NULL_VALUE_NOT_ALLOWED),
                    errmsg("tamsel_last_indicators: bar %d of the group has no time stamp", bar),
                    errhint("Drop the bars without a time stamp: the order of the bars is the time stamps'.")));
  if (state->bars > 0) {
    int order = DatumGetInt32(FunctionCall2Coll(state->compare, state->collation, state->lastTime, time));
    if (order == 0)
      ereport(ERROR, (errcode(ERRCODE_DATA_EXCEPTION),
                      errmsg("tamsel_last_indicators: bars %d and %d of the group share the time stamp %s", bar - 1,
                             bar, TimeText(state, time)),
                      errhint("Keep one row per time stamp in each group (drop or merge the duplicate bars), or "
                              "group by every column that tells the series apart.")));
    if (order > 0)
      ereport(ERROR, (errcode(ERRCODE_DATA_EXCEPTION),
                      errmsg("tamsel_last_indicators: bar %d of the group (time stamp %s) comes after a later one (%s)",
                             bar, TimeText(state, time), TimeText(state, state->lastTime)),
                      errhint("Order the bars inside the call: tamsel_last_indicators(ts, high, low ORDER BY ts).")));
    if (!state->timeByValue) pfree(DatumGetPointer(state->lastTime));
  }
  MemoryContext old = MemoryContextSwitchTo(context);
  state->lastTime = datumCopy(time, state->timeByValue, state->timeLength);
  MemoryContextSwitchTo(old);
}

Datum tamsel_last_step(PG_FUNCTION_ARGS) {
  MemoryContext context;
  if (!AggCheckCallContext(fcinfo, &context))
    ereport(ERROR, (errcode(ERRCODE_FEATURE_NOT_SUPPORTED), errmsg("tamsel_last_step is an aggregate's step")));
  CHECK_FOR_INTERRUPTS();
  LastBarState* state =
      PG_ARGISNULL(kStateArg) ? NewState(fcinfo, context) : (LastBarState*)PG_GETARG_POINTER(kStateArg);
  bool timeIsNull, highIsNull, lowIsNull;
  Datum time = PlainArgument(fcinfo, kTimeArg, &timeIsNull);
  Datum high = PlainArgument(fcinfo, kHighArg, &highIsNull);
  Datum low = PlainArgument(fcinfo, kLowArg, &lowIsNull);
  CheckTimeOrder(state, time, timeIsNull, context);

  TamselChart_PriceProblem problem;
  int number =
      TamselChart_StreamPushPrices(state->stream, TamselPriceAsDouble(fcinfo, kHighArg, high, highIsNull),
                                   TamselPriceAsDouble(fcinfo, kLowArg, low, lowIsNull), &state->last, &problem);
  if (number == 0) {
    bool isLow = problem.column == TAMSELCHART_COLUMN_LOW;
    TamselReportPriceProblem(
        "tamsel_last_indicators",
        psprintf("bar %d (time stamp %s) of the group", state->bars + 1, TimeText(state, time)), &problem,
        TamselPriceText(fcinfo, isLow ? kLowArg : kHighArg, isLow ? low : high, isLow ? lowIsNull : highIsNull));
  }
  state->bars = number;
  PG_RETURN_POINTER(state);
}

/* The last bar's values; the state is only read, so the final step may run
   again (as when the aggregate is used over a window). */
Datum tamsel_last_values(PG_FUNCTION_ARGS) {
  if (PG_ARGISNULL(0)) PG_RETURN_NULL();
  const LastBarState* state = (const LastBarState*)PG_GETARG_POINTER(0);
  TupleDesc row;
  if (get_call_result_type(fcinfo, NULL, &row) != TYPEFUNC_COMPOSITE || row->natts != 4)
    elog(ERROR, "tamsel_last_values must return all four indicators");
  row = BlessTupleDesc(row);
  float values[4] = {state->last.CyclePeriod, state->last.SignalToNoiseRatio, state->last.SwingPosition,
                     state->last.TrendVigor};
  TamselBlankWarmup(&state->options, state->bars, values);
  Datum fields[4];
  bool nulls[4] = {false, false, false, false};
  for (int i = 0; i < 4; ++i) fields[i] = Float4GetDatum(values[i]);
  PG_RETURN_DATUM(HeapTupleGetDatum(heap_form_tuple(row, fields, nulls)));
}
