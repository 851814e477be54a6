# SPDX-License-Identifier: MIT
# The indicators as panes of a quantmod chart.

# Colours that read on quantmod's black and white themes alike, one per
# indicator in the order of the library's indicator table.
paneColours <- c("#1f9bde", "#e8a317", "#d9534f", "#2ca02c")

#' Add the indicators to a quantmod chart
#'
#' Adds one pane per indicator below the chart last drawn by
#' `quantmod::chartSeries()`, computed over all of the chart's bars (also
#' those a `subset` hides, so the shown bars are past the start-up). Each
#' pane's legend gives the indicator's value on the last bar. Call it after
#' `chartSeries()`, as a command of its own, not inside its `TA` argument.
#'
#' @param indicators The indicators to add, by their column names (those of
#'   [tamselWarmup()], all four by default), in the order of their panes.
#' @param missing As in [tamselIndicators()]. `chartSeries()` drops the bars
#'   with a missing price before it draws, so this matters only for a price
#'   beyond the range of a 32-bit float.
#' @param warmup As in [tamselIndicators()]; by default the start-up bars are
#'   not drawn, so they do not stretch a pane's scale.
#' @param colours The line colour of each pane, recycled.
#' @return The values drawn, an `xts` on the chart's index, invisibly.
#' @seealso [tamselIndicators()]
#' @examples
#' path <- system.file("extdata", "sample-daily.csv", package = "tamselcharts")
#' bars <- read.csv(path)
#' prices <- xts::xts(bars[, c("Open", "High", "Low", "Close", "Volume")], as.Date(bars$Date))
#' quantmod::chartSeries(prices, name = "sample-daily.csv", subset = "last 250 days", TA = NULL)
#' addTamsel()
#' @export
addTamsel <- function(indicators = indicatorColumns(), missing = "error", warmup = "nan",
                      colours = paneColours[match(indicators, indicatorColumns())]) {
  indicators <- match.arg(indicators, indicatorColumns(), several.ok = TRUE)
  # chartSeries() keeps its charts inside quantmod; its own add functions and
  # addTA() find the current one with this function, which quantmod does not
  # export.
  currentChart <- utils::getFromNamespace("get.current.chob", "quantmod")
  chart <- tryCatch(currentChart(), error = function(e) NULL)
  if (!methods::is(chart, "chob")) {
    stop("addTamsel: there is no chart to add to; draw one with quantmod::chartSeries() first", call. = FALSE)
  }
  values <- tamselIndicators(chart@xdata, missing = missing, warmup = warmup)[, indicators]
  colours <- rep_len(colours, length(indicators))
  for (i in seq_along(indicators)) {
    series <- values[, indicators[i]]
    legend <- paste0(indicatorTitles()[[indicators[i]]], ": ", format(as.numeric(series[nrow(series)]), digits = 4L))
    # quantmod keeps each pane's call and evaluates it again when the chart
    # is redrawn (zoomChart(), reChart()), far from here: the call carries
    # the values themselves.
    pane <- eval(as.call(list(quote(quantmod::addTA), ta = series, legend = legend, col = colours[[i]])))
    graphics::plot(pane)
  }
  invisible(values)
}
