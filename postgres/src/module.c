/* SPDX-License-Identifier: MIT */
/* The module's entry: its settings, and a check that it was built for the
   library's indicator table it links. */
#include "tamsel_pg.h"

#include "utils/builtins.h"

PG_MODULE_MAGIC;

void _PG_init(void);
PG_FUNCTION_INFO_V1(tamsel_library_version);

void _PG_init(void) {
  /* The functions give four values per bar, in the table's order. */
  if (TamselChart_IndicatorCount() != 4)
    elog(ERROR, "tamselcharts was built for 4 indicators, the library has %d", TamselChart_IndicatorCount());
  TamselDefineSettings();
}

/* The linked library's version: the extension's version must be the same
   (the regression tests compare them). */
Datum tamsel_library_version(PG_FUNCTION_ARGS) {
  (void)fcinfo;
  PG_RETURN_TEXT_P(cstring_to_text(TamselChart_Version()));
}
