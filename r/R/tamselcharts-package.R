# SPDX-License-Identifier: MIT
#' tamselcharts: cycle-based market indicators
#'
#' Four indicators of a high/low price series, all from one estimate of the
#' price's cycle spectrum: [cyclePeriod()], [signalToNoise()],
#' [swingPosition()] and [trendVigor()], or all four from one pass with
#' [tamselIndicators()]. They take an OHLC `xts` (or a `zoo`, matrix or data
#' frame with High and Low columns), or two numeric vectors, and return their
#' values on the same index. [tamselStream()]
#' computes live bars one at a time, and its `save()` and [tamselStreamLoad()]
#' keep a stream's state to go on later or elsewhere; [addTamsel()] adds the
#' indicators to a `quantmod::chartSeries()` chart.
#'
#' The values are those of the TamselCharts C library bit for bit: the package
#' compiles the library from its sources, prices are rounded to 32-bit floats
#' as the library takes them, and every value is a 32-bit float widened to a
#' double.
#'
#' @section The rules of every function:
#' \describe{
#'   \item{Order}{Bars are taken oldest first. Where the input has times
#'     (an index, or a data frame's time column) they must be strictly
#'     increasing, or strictly decreasing with `order = "newest-first"`;
#'     `order = "as-given"` skips the check.}
#'   \item{Identity}{The result has one row per input row, in the input's
#'     order, on the input's index (time class and time zone included) or with
#'     its row names; its columns are named after the indicators, in the order
#'     of [tamselWarmup()]. Nothing is dropped or added.}
#'   \item{Type}{Prices are numbers (double, integer, or a column of nothing
#'     but `NA`); they are rounded to 32-bit floats as the library takes them,
#'     and each value is the library's 32-bit float as a double. `NA` and
#'     `NaN` are missing prices, handled by the `missing` option.}
#'   \item{Aliasing}{The input is never modified: every result is a new
#'     object, and a stream copies the prices it is given.}
#' }
#'
#' @keywords internal
#' @useDynLib tamselcharts, .registration = TRUE, .fixes = "C_"
"_PACKAGE"
