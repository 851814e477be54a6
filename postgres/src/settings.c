/* SPDX-License-Identifier: MIT */
/*
 * The two settings, tamselcharts.missing and tamselcharts.warmup, and the
 * optional arguments that override them for one call.  The policy's words
 * and the warm-up lengths come from the library, as in every front end.
 */
#include "tamsel_pg.h"

#include <errno.h>
#include <limits.h>
#include <stdlib.h>

#include "utils/builtins.h"
#include "utils/float.h"
#include "utils/guc.h"

static int missingSetting = TAMSELCHART_MISSING_ERROR;
static char* warmupSetting = NULL;

/* "values", "nan" or a number of bars; -1 (every indicator its own warm-up
   from the table) for "nan", -2 for anything else. */
static int ParseWarmup(const char* text) {
  if (strcmp(text, "values") == 0) return 0;
  if (strcmp(text, "nan") == 0) return -1;
  char* end = NULL;
  errno = 0;
  long bars = strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || bars < 0 || bars > INT_MAX) return -2;
  return (int)bars;
}

static bool CheckWarmupSetting(char** newValue, void** extra, GucSource source) {
  (void)extra;
  (void)source;
  if (ParseWarmup(*newValue) == -2) {
    GUC_check_errdetail("tamselcharts.warmup is \"values\", \"nan\" or a number of bars of at least 0.");
    return false;
  }
  return true;
}

void TamselDefineSettings(void) {
  /* The enum's words from the library; the array lives as long as the
     backend, as a setting's must. */
  static struct config_enum_entry policies[TAMSELCHART_MISSING_NAN + 2];
  for (int policy = TAMSELCHART_MISSING_ERROR; policy <= TAMSELCHART_MISSING_NAN; ++policy) {
    policies[policy].name = TamselChart_MissingPolicyName(policy);
    policies[policy].val = policy;
    policies[policy].hidden = false;
  }
  DefineCustomEnumVariable("tamselcharts.missing", "What the indicators do with a missing (NULL or NaN) price.",
                           "\"error\" refuses it, \"previous\" repeats the same column's price of the bar before, "
                           "\"nan\" passes it on; infinite prices pass only under \"nan\".",
                           &missingSetting, TAMSELCHART_MISSING_ERROR, policies, PGC_USERSET, 0, NULL, NULL, NULL);
  DefineCustomStringVariable("tamselcharts.warmup", "What the indicators give on their start-up bars.",
                             "\"values\" keeps the library's start-up values, \"nan\" gives NaN on each "
                             "indicator's own start-up bars, a number N gives NaN on the first N bars.",
                             &warmupSetting, "values", PGC_USERSET, 0, CheckWarmupSetting, NULL, NULL);
  MarkGUCPrefixReserved("tamselcharts");
}

static int ParseMissingArgument(const char* text) {
  for (int policy = TAMSELCHART_MISSING_ERROR; policy <= TAMSELCHART_MISSING_NAN; ++policy) {
    if (strcmp(text, TamselChart_MissingPolicyName(policy)) == 0) return policy;
  }
  ereport(ERROR, (errcode(ERRCODE_INVALID_PARAMETER_VALUE), errmsg("missing => '%s' is no missing-price policy", text),
                  errhint("Use missing => '%s', '%s' or '%s'.", TamselChart_MissingPolicyName(0),
                          TamselChart_MissingPolicyName(1), TamselChart_MissingPolicyName(2))));
  pg_unreachable();
}

void TamselReadOptions(FunctionCallInfo fcinfo, TamselArgumentReader argument, int missingArg, int warmupArg,
                       TamselCallOptions* options) {
  options->missingPolicy = missingSetting;
  const char* warmupText = warmupSetting;
  bool isNull = true;
  if (missingArg >= 0 && missingArg < PG_NARGS()) {
    Datum value = argument(fcinfo, missingArg, &isNull);
    if (!isNull) options->missingPolicy = ParseMissingArgument(TextDatumGetCString(value));
  }
  if (warmupArg >= 0 && warmupArg < PG_NARGS()) {
    Datum value = argument(fcinfo, warmupArg, &isNull);
    if (!isNull) {
      warmupText = TextDatumGetCString(value);
      if (ParseWarmup(warmupText) == -2)
        ereport(ERROR, (errcode(ERRCODE_INVALID_PARAMETER_VALUE), errmsg("warmup => '%s' is no warm-up", warmupText),
                        errhint("Use warmup => 'values', 'nan' or a number of bars such as '30'.")));
    }
  }
  int bars = ParseWarmup(warmupText);
  for (int i = 0; i < TamselChart_IndicatorCount() && i < 4; ++i)
    options->warmupBars[i] = bars == -1 ? TamselChart_Indicator(i)->warmupBars : bars;
}

void TamselBlankWarmup(const TamselCallOptions* options, int bar, float values[4]) {
  for (int i = 0; i < 4; ++i) {
    if (bar <= options->warmupBars[i]) values[i] = get_float4_nan();
  }
}
