/* SPDX-License-Identifier: MIT */
/*
 * Prices from SQL to the library's policy, and the message for a price the
 * policy refuses.  NULL is this front end's missing price: it becomes NaN
 * and the library decides, so SQL refuses and fills exactly as the other
 * front ends do.
 */
#include "tamsel_pg.h"

#include <errno.h>
#include <float.h>
#include <math.h>
#include <stdlib.h>

#include "catalog/pg_type.h"
#include "utils/fmgrprotos.h"
#include "utils/lsyscache.h"
#include "utils/numeric.h"

static Oid PriceType(FunctionCallInfo fcinfo, int argno) {
  Oid type = get_fn_expr_argtype(fcinfo->flinfo, argno);
  if (type != FLOAT8OID && type != NUMERICOID)
    ereport(ERROR, (errcode(ERRCODE_DATATYPE_MISMATCH), errmsg("a price must be double precision or numeric")));
  return type;
}

double TamselPriceAsDouble(FunctionCallInfo fcinfo, int argno, Datum value, bool isNull) {
  if (isNull) return NAN;
  if (PriceType(fcinfo, argno) == FLOAT8OID) return DatumGetFloat8(value);
  /* numeric: through its exact decimal text, so that a value beyond double
     range is seen as such instead of failing the cast. */
  Numeric number = DatumGetNumeric(value);
  if (numeric_is_nan(number)) return NAN;
  char* text = DatumGetCString(DirectFunctionCall1(numeric_out, NumericGetDatum(number)));
  errno = 0;
  double price = strtod(text, NULL);
  if (errno == ERANGE && isinf(price) && !numeric_is_inf(number)) price = copysign(DBL_MAX, price);
  pfree(text);
  return price;
}

char* TamselPriceText(FunctionCallInfo fcinfo, int argno, Datum value, bool isNull) {
  if (isNull) return pstrdup("NULL");
  Oid output;
  bool isVarlena;
  getTypeOutputInfo(PriceType(fcinfo, argno), &output, &isVarlena);
  return OidOutputFunctionCall(output, value);
}

void TamselReportPriceProblem(const char* function, const char* where, const TamselChart_PriceProblem* problem,
                              const char* priceText) {
  const char* column = problem->column == TAMSELCHART_COLUMN_LOW ? "low" : "high";
  const char* text = TamselChart_PriceProblemText(problem->kind);
  const char* hint;
  int code;
  switch (problem->kind) {
    case TAMSELCHART_PRICE_MISSING:
      code = ERRCODE_NULL_VALUE_NOT_ALLOWED;
      hint =
          "One missing price would freeze the cycle spectrum for the rest of the series: drop or correct the "
          "bar, pass missing => 'previous' to repeat the bar before's price or missing => 'nan' to hand it on "
          "as NaN, or set tamselcharts.missing.";
      break;
    case TAMSELCHART_PRICE_NO_PREVIOUS:
      code = ERRCODE_NULL_VALUE_NOT_ALLOWED;
      hint = "Drop the leading bars without a price, or pass missing => 'nan'.";
      break;
    default:
      code = ERRCODE_NUMERIC_VALUE_OUT_OF_RANGE;
      hint = "Drop or correct the bar, or pass missing => 'nan' to hand the price to the indicators as it is.";
      break;
  }
  ereport(ERROR, (errcode(code), errmsg("%s: the %s price of %s is refused: %s", function, column, where, text),
                  errdetail("The %s price is %s.", column, priceText), errhint("%s", hint)));
  pg_unreachable();
}

static void DestroyStream(void* stream) { TamselChart_StreamDestroy((TamselChart_Stream*)stream); }

TamselChart_Stream* TamselStreamIn(MemoryContext context, int missingPolicy) {
  /* The callback's record first: once the stream exists, nothing may fail
     before its release is registered. */
  MemoryContextCallback* release = MemoryContextAllocZero(context, sizeof(MemoryContextCallback));
  TamselChart_Stream* stream = TamselChart_StreamCreate();
  if (stream == NULL) ereport(ERROR, (errcode(ERRCODE_OUT_OF_MEMORY), errmsg("out of memory for an indicator stream")));
  release->func = DestroyStream;
  release->arg = stream;
  MemoryContextRegisterResetCallback(context, release);
  TamselChart_StreamSetMissingPolicy(stream, missingPolicy);
  return stream;
}
