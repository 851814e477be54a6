# SPDX-License-Identifier: MIT
# The four indicators over whole series, and all four from one pass.

# which: the places in the library's indicator table of the indicators to
# compute (cycle period 1, signal-to-noise 2, swing position 3, trend vigor 4).
computeIndicators <- function(HL, low, which, missing, warmup, order, caller) {
  columns <- indicatorColumns()[which]
  policy <- policyNumber(missing)
  warmup <- checkWarmup(warmup)
  order <- match.arg(order, barOrders)
  input <- priceInput(HL, low, caller, order)
  rows <- takeOrder(input, order, caller)
  high <- input$high[rows]
  lowPrices <- input$low[rows]
  values <- if (length(columns) == 1L) {
    .Call(C_tamsel_r_indicator, high, lowPrices, which, policy)
  } else {
    .Call(C_tamsel_r_all_indicators, high, lowPrices, policy)
  }
  if (isPriceProblem(values)) {
    given <- if (values$column == 0L) high[values$bar] else lowPrices[values$bar]
    refusePrice(values, caller, function(bar) rowName(input, rows[bar]), given)
  }
  values <- applyWarmup(matrix(values, ncol = length(columns), dimnames = list(NULL, columns)), warmup)
  # Back in the caller's order of rows.
  values[rows, ] <- values
  shapeResult(values, input)
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
#' @param HL An object with high and low price columns: an OHLC `xts` or
#'   `zoo`, a matrix or a data frame. A column is the high (low) price when
#'   its name is "High" ("Low") in any case, with blanks around it, in `<>`
#'   (`<HIGH>`) or after a dot (`AAPL.High`, as quantmod names them); a name
#'   that merely contains the word (`SlowMA`, `Lowest`, `HighWaterMark`) is
#'   no price. No such column, or several, is an error naming the columns.
#'   Or, when `low` is given, the high prices: a numeric vector, or a
#'   one-column `xts` such as `Hi(x)`.
#' @param low The low prices, when `HL` holds the high prices: a numeric vector
#'   as long as `HL`, or a series on the same index as `HL`.
#' @param missing What a missing price (`NA` or `NaN`) does, with the words of
#'   `tamsel --missing`. `"error"` (the default) stops with a message naming
#'   the first such row (and its time) and its column, because one missing price freezes the
#'   cycle spectrum for the rest of the series. `"previous"` repeats the
#'   previous bar's price of that column (a series that starts without a price
#'   is still an error: there is nothing to repeat). `"nan"` passes it on to
#'   the library: the cycle period then repeats its last value, the swing
#'   position becomes `NaN` and the trend vigor holds its last value for the
#'   rest of the series. An infinite price, or one beyond the range of a
#'   32-bit float, is refused unless `missing = "nan"` passes it on too (one
#'   beyond the range as an infinity). A refused price is an error of class
#'   `tamselMissingPrice` (a missing price) or `tamselBadPrice` (an infinite
#'   or out-of-range one), both also of class `tamselPriceProblem`, with the
#'   fields `kind` (`"missing"`, `"no-previous"`, `"infinite"`,
#'   `"out-of-range"`), `column` (`"high"` or `"low"`), `bar` (its number in
#'   time order) and `price` (as given).
#' @param order The order of the rows. `"oldest-first"` (the default) and
#'   `"newest-first"` say how they run; where the input has times (the index
#'   of an `xts` or `zoo`; a data frame's or matrix's column of class `Date`
#'   or `POSIXct`, or else its column named Date, Datetime, Time or Timestamp,
#'   a date and a time column read together) they are checked, and reversed,
#'   shuffled, repeated, missing or infinite times are an error naming the
#'   rows. Times written as text are read whole: a date (2024-01-31,
#'   2024/1/31, 2024.01.31, 20240131), maybe a time (09:30, 09:30:15.250,
#'   1:30 PM) and maybe a zone (Z, +01:00, -0500, or one name such as EST on
#'   every row); other text is an error naming the row. With
#'   `"newest-first"` the bars are computed oldest first and the values given
#'   back in the rows' order. `"as-given"` takes the rows as they are,
#'   without looking at times.
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
cyclePeriod <- function(HL, low = NULL, missing = "error", warmup = "values", order = "oldest-first") {
  computeIndicators(HL, low, 1L, missing, warmup, order, "cyclePeriod")
}

#' @rdname indicators
#' @export
signalToNoise <- function(HL, low = NULL, missing = "error", warmup = "values", order = "oldest-first") {
  computeIndicators(HL, low, 2L, missing, warmup, order, "signalToNoise")
}

#' @rdname indicators
#' @export
swingPosition <- function(HL, low = NULL, missing = "error", warmup = "values", order = "oldest-first") {
  computeIndicators(HL, low, 3L, missing, warmup, order, "swingPosition")
}

#' @rdname indicators
#' @export
trendVigor <- function(HL, low = NULL, missing = "error", warmup = "values", order = "oldest-first") {
  computeIndicators(HL, low, 4L, missing, warmup, order, "trendVigor")
}

#' @rdname indicators
#' @export
tamselIndicators <- function(HL, low = NULL, missing = "error", warmup = "values", order = "oldest-first") {
  computeIndicators(HL, low, seq_along(indicatorColumns()), missing, warmup, order, "tamselIndicators")
}
