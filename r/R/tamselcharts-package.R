# SPDX-License-Identifier: MIT
#' tamselcharts: cycle-based market indicators
#'
#' Four indicators of a high/low price series, all from one estimate of the
#' price's cycle spectrum: [cyclePeriod()], [signalToNoise()],
#' [swingPosition()] and [trendVigor()], or all four from one pass with
#' [tamselIndicators()]. They take an OHLC `xts` (or any object whose high and
#' low columns `quantmod::Hi()` and `quantmod::Lo()` find), or two numeric
#' vectors, and return their values on the same index. [tamselStream()]
#' computes live bars one at a time; [addTamsel()] adds the indicators to a
#' `quantmod::chartSeries()` chart.
#'
#' The values are those of the TamselCharts C library bit for bit: the package
#' compiles the library from its sources, prices are rounded to 32-bit floats
#' as the library takes them, and every value is a 32-bit float widened to a
#' double.
#'
#' @keywords internal
#' @useDynLib tamselcharts, .registration = TRUE, .fixes = "C_"
"_PACKAGE"
