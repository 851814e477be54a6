# SPDX-License-Identifier: MIT
# addTamsel(): the indicator panes of a quantmod chart.

chartOf <- function() utils::getFromNamespace("get.current.chob", "quantmod")()

drawChart <- function(prices, ...) {
  path <- tempfile(fileext = ".png")
  grDevices::png(path, width = 900, height = 900)
  quantmod::chartSeries(prices, TA = NULL, theme = quantmod::chartTheme("white"), ...)
  path
}

test_that("each requested indicator gets a pane holding its values over the shown bars", {
  withr_options <- options(xts_check_TZ = FALSE)
  on.exit(options(withr_options))
  prices <- randomBars(300)
  titles <- c(cycle_period = "Cycle period", signal_to_noise = "Signal-to-noise ratio",
              swing_position = "Swing position", trend_vigor = "Trend vigor")
  cases <- list(
    list(indicators = c("cycle_period", "signal_to_noise", "swing_position", "trend_vigor"), subset = NULL,
         warmup = "nan"),
    list(indicators = c("trend_vigor", "cycle_period"), subset = "last 100 days", warmup = "nan"),
    list(indicators = "swing_position", subset = "last 30 days", warmup = 280),
    list(indicators = "signal_to_noise", subset = NULL, warmup = "values")
  )
  for (case in cases) {
    label <- paste(case$indicators, collapse = ",")
    path <- drawChart(prices, subset = case$subset)
    drawn <- addTamsel(case$indicators, warmup = case$warmup)
    chart <- chartOf()
    grDevices::dev.off()
    expect_gt(file.size(path), 0)
    unlink(path)
    # The values come from every bar of the chart, as tamselIndicators gives them.
    expected <- tamselIndicators(prices, warmup = case$warmup)[, case$indicators]
    expect_identical(unname(zoo::coredata(drawn)), unname(zoo::coredata(expected)), label = label)
    expect_identical(zoo::index(drawn), zoo::index(chart@xdata), label = label)
    panes <- Filter(function(ta) methods::is(ta, "chobTA") && ta@name == "chartTA", chart@passed.args$TA)
    expect_length(panes, length(case$indicators))
    for (i in seq_along(case$indicators)) {
      column <- case$indicators[i]
      shown <- as.numeric(expected[chart@xsubset, column])
      expect_identical(as.numeric(panes[[i]]@TA.values), shown, label = paste(label, column))
      # The legend names the indicator by its title in the library's table.
      expect_match(panes[[i]]@params$legend, paste0("^", titles[[column]], ": -?[0-9]"), label = paste(label, column))
      expect_true(panes[[i]]@new, label = paste(label, column))
    }
  }
})

test_that("the panes survive redrawing the chart with another subset", {
  withr_options <- options(xts_check_TZ = FALSE)
  on.exit(options(withr_options))
  prices <- randomBars(200)
  path <- drawChart(prices, subset = "last 150 days")
  on.exit({
    grDevices::dev.off()
    unlink(path)
  }, add = TRUE)
  addTamsel(c("swing_position", "cycle_period"))
  expected <- tamselIndicators(prices, warmup = "nan")
  for (redraw in list(
    function() quantmod::zoomChart("last 40 days"),
    function() quantmod::reChart(subset = "last 90 days")
  )) {
    expect_no_error(redraw())
    chart <- chartOf()
    panes <- Filter(function(ta) methods::is(ta, "chobTA") && ta@name == "chartTA", chart@passed.args$TA)
    expect_length(panes, 2L)
    expect_identical(as.numeric(panes[[1]]@TA.values), as.numeric(expected[chart@xsubset, "swing_position"]))
    expect_identical(as.numeric(panes[[2]]@TA.values), as.numeric(expected[chart@xsubset, "cycle_period"]))
  }
})

test_that("the chart's own bars are the input, so a gap in them follows the missing option", {
  withr_options <- options(xts_check_TZ = FALSE)
  on.exit(options(withr_options))
  prices <- randomBars(120)
  # chartSeries drops bars with an NA and cannot scale an infinity: the bad
  # price is one beyond the range of the library's 32-bit floats.
  prices[60, "High"] <- 1e39
  path <- drawChart(prices)
  on.exit({
    grDevices::dev.off()
    unlink(path)
  }, add = TRUE)
  expect_error(addTamsel(), "beyond the range of a 32-bit float.*: the high price of row 60 \\(2020-02-29\\) is 1e\\+39")
  expect_error(addTamsel(missing = "previous"), "correct or drop the bar")
  drawn <- addTamsel(missing = "nan", warmup = "values")
  expect_identical(zoo::coredata(drawn), zoo::coredata(tamselIndicators(prices, missing = "nan")))
})

test_that("without a chart to add to, addTamsel says what to draw first", {
  while (grDevices::dev.cur() > 1L) grDevices::dev.off()
  expect_error(addTamsel(), "draw one with quantmod::chartSeries() first", fixed = TRUE)
  expect_error(addTamsel("phase"), "should be one of")
})
