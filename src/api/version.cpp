// SPDX-License-Identifier: MIT
// The library's version string, spelled from the header's macros so that the
// loaded library reports the version it was built as.
#include "TamselCharts.h"

#define TAMSEL_SPELL(x) #x
#define TAMSEL_SPELL_VALUE(x) TAMSEL_SPELL(x)

extern "C" const char* TAMSELCHART_CALL TamselChart_Version(void) {
  return TAMSEL_SPELL_VALUE(TAMSELCHARTS_VERSION_MAJOR) "." TAMSEL_SPELL_VALUE(
      TAMSELCHARTS_VERSION_MINOR) "." TAMSEL_SPELL_VALUE(TAMSELCHARTS_VERSION_PATCH);
}
