# SPDX-License-Identifier: MIT
# The four indicators over whole series, and all four from one pass.

computeIndicators <- function(HL, low, columns, missing, warmup, caller) {
  missing <- match.arg(missing, missingPolicies)
  warmup <- checkWarmup(warmup)
  input <- priceInput(HL, low, caller)
  prices <- applyMissing(input$high, input$low, missing, caller, label = function(i) barLabel(input, i))
  values <- if (length(columns) == 1L) {
    matrix(.Call(C_tamsel_r_indicator, prices$high, prices$low, match(columns, tamselColumns)), ncol = 1L)
  } else {
    .Call(C_tamsel_r_all_indicators, prices$high, prices$low)
  }
  colnames(values) <- columns
  shapeResult(applyWarmup(values, warmup), input)
}

#' The cycle spectrum indicators of a high/low series
#'
#' `cyclePeriod()` gives the length in bars of the cycle that dominates the
#' price, `signalToNoise()` how strong that cycle is against the bars' range,
#' `swingPosition()` where the price stands in the cycle's swing and
#' `trendVigor()` how far the price moved over about one cycle in units of the
#' swing. `tamselIndicators()` computes all four from one pass, at about the
#' cost of one.
#'
#' | column | values |
#' |---|---|
#' | `cycle_period` | 6 to 30 bars; 0 on bars 1 and 2, exactly 18 on bars 3 to 14 |
#' | `signal_to_noise` | 1 (weak cycle), 2 to 12, or 11 (saturated); 1 on bars 1 to 12 |
#' | `swing_position` | -5 (bottom of the swing) to +5 (top); `NaN` where the last 51 bars give no range |
#' | `trend_vigor` | -10 to +10; near 0 when the market only oscillates |
#'
#' Bars are taken oldest first. Every value is the TamselCharts library's
#' 32-bit float: prices are rounded to 32-bit floats as the library takes
#' them, so values agree bit for bit with the library's C interface, its
#' Python package and the `tamsel` tool.
#'
#' @param HL An object with high and low price columns, found as
#'   `quantmod::Hi()` and `quantmod::Lo()` find them (a column whose name
#'   contains "High" or "Low", in any case): an OHLC `xts` or `zoo`, a matrix
#'   or a data frame. Or, when `low` is given, the high prices: a numeric
#'   vector, or a one-column `xts` such as `Hi(x)`.
#' @param low The low prices, when `HL` holds the high prices: a numeric vector
#'   as long as `HL`, or a series on the same index as `HL`.
#' @param missing What a missing price (`NA` or `NaN`) does, with the words of
#'   `tamsel --missing`. `"error"` (the default) stops with a message naming
#'   the first such bar and its column, because one missing price freezes the
#'   cycle spectrum for the rest of the series. `"previous"` repeats the
#'   previous bar's price of that column (a series that starts without a price
#'   is still an error: there is nothing to repeat). `"nan"` passes it on to
#'   the library: the cycle period then repeats its last value, the swing
#'   position becomes `NaN` and the trend vigor holds its last value for the
#'   rest of the series. An infinite price, or one beyond the range of a
#'   32-bit float, is refused unless `missing = "nan"` passes it on too.
#' @param warmup What the start-up bars show. `"values"` (the default) keeps
#'   the library's values; `"nan"` puts `NaN` on each indicator's start-up
#'   bars ([tamselWarmup()]); a whole number `N` puts `NaN` on the first `N`
#'   bars of every indicator.
#' @return For an `xts` or `zoo` input, an `xts` or `zoo` on the same index
#'   (time class and time zone included) with one column per indicator, named
#'   `cycle_period`, `signal_to_noise`, `swing_position` and `trend_vigor`. For
#'   a matrix, a data frame or vectors, a numeric vector (one indicator) or a
#'   matrix (a data frame for a data frame input) with the input's row names
#'   or element names.
#' @seealso [tamselStream()] for live bars, [addTamsel()] for charts,
#'   [tamselWarmup()].
#' @examples
#' path <- system.file("extdata", "sample-daily.csv", package = "tamselcharts")
#' bars <- read.csv(path)
#' prices <- xts::xts(bars[, c("Open", "High", "Low", "Close")], as.Date(bars$Date))
#'
#' tail(tamselIndicators(prices))
#' tail(cyclePeriod(prices))
#' trendVigor(bars$High, bars$Low, warmup = "nan")[1:20]
#'
#' # A gap in the prices: stop, repeat the previous price, or pass it on.
#' prices[100, "High"] <- NA
#' try(swingPosition(prices))
#' swingPosition(prices, missing = "previous")[98:102]
#' @name indicators
NULL

#' @rdname indicators
#' @export
cyclePeriod <- function(HL, low = NULL, missing = c("error", "previous", "nan"), warmup = "values") {
  computeIndicators(HL, low, "cycle_period", missing, warmup, "cyclePeriod")
}

#' @rdname indicators
#' @export
signalToNoise <- function(HL, low = NULL, missing = c("error", "previous", "nan"), warmup = "values") {
  computeIndicators(HL, low, "signal_to_noise", missing, warmup, "signalToNoise")
}

#' @rdname indicators
#' @export
swingPosition <- function(HL, low = NULL, missing = c("error", "previous", "nan"), warmup = "values") {
  computeIndicators(HL, low, "swing_position", missing, warmup, "swingPosition")
}

#' @rdname indicators
#' @export
trendVigor <- function(HL, low = NULL, missing = c("error", "previous", "nan"), warmup = "values") {
  computeIndicators(HL, low, "trend_vigor", missing, warmup, "trendVigor")
}

#' @rdname indicators
#' @export
tamselIndicators <- function(HL, low = NULL, missing = c("error", "previous", "nan"), warmup = "values") {
  computeIndicators(HL, low, tamselColumns, missing, warmup, "tamselIndicators")
}
