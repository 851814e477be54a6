# SPDX-License-Identifier: MIT
# The batch functions: golden outputs, the shapes they take and give back,
# missing prices and the warm-up option.

singles <- list(
  cycle_period = cyclePeriod, signal_to_noise = signalToNoise,
  swing_position = swingPosition, trend_vigor = trendVigor
)

test_that("every function reproduces every golden series bit for bit", {
  for (series in golden()) {
    high <- series$table[, "high"]
    low <- series$table[, "low"]
    # NaN and infinite prices are part of the golden series: passed on.
    all <- tamselIndicators(high, low, missing = "nan")
    for (column in names(singles)) {
      what <- paste(series$name, column)
      expect_same_bits(singles[[column]](high, low, missing = "nan"), series, column, what)
      expect_same_bits(all[, column], series, column, paste(what, "(all four)"))
    }
  }
})

test_that("an OHLC xts gives the golden values on its own index", {
  series <- golden()[["walk_long"]]
  bars <- nrow(series$table)
  index <- as.POSIXct("2024-03-01 09:30", tz = "America/New_York") + 60 * seq_len(bars)
  prices <- xts::xts(cbind(Open = 1, High = series$table[, "high"], Low = series$table[, "low"], Close = 1), index)
  values <- tamselIndicators(prices)
  for (column in names(singles)) expect_same_bits(values[, column], series, column, column)
  expect_identical(zoo::index(values), zoo::index(prices))
  expect_identical(xts::tzone(values), "America/New_York")
})

test_that("the result takes the shape and index of the input", {
  prices <- randomBars(40)
  frame <- data.frame(High = as.numeric(prices$High), Low = as.numeric(prices$Low), row.names = format(zoo::index(prices)))
  plainMatrix <- as.matrix(frame)
  expected <- zoo::coredata(tamselIndicators(prices))
  dates <- format(zoo::index(prices))
  cases <- list(
    list(input = list(prices), class = "xts", index = zoo::index(prices)),
    list(input = list(zoo::as.zoo(prices)), class = "zoo", index = zoo::index(zoo::as.zoo(prices))),
    list(input = list(quantmod::Hi(prices), quantmod::Lo(prices)), class = "xts", index = zoo::index(prices)),
    list(input = list(frame), class = "data.frame", rows = dates, names = dates),
    list(input = list(plainMatrix), class = "matrix", rows = dates, names = dates),
    list(input = list(setNames(frame$High, dates), frame$Low), class = "matrix", rows = dates, names = dates),
    list(input = list(frame$High, frame$Low), class = "matrix", rows = NULL, names = NULL),
    # Columns named as quantmod's getSymbols() names them, in any case.
    list(input = list(`colnames<-`(prices, c("SPY.Open", "SPY.High", "SPY.Low", "SPY.Close"))), class = "xts",
         index = zoo::index(prices)),
    list(input = list(data.frame(high = frame$High, LOW = frame$Low)), class = "data.frame",
         rows = as.character(1:40), names = NULL)
  )
  for (case in cases) {
    all <- do.call(tamselIndicators, case$input)
    one <- do.call(trendVigor, case$input)
    label <- paste(case$class, length(case$input), "argument(s)")
    expect_true(inherits(all, case$class), label = label)
    expect_identical(colnames(all), c("cycle_period", "signal_to_noise", "swing_position", "trend_vigor"))
    expect_identical(unname(as.matrix(zoo::coredata(all))), unname(expected), label = label)
    expect_identical(as.numeric(zoo::coredata(one)), expected[, "trend_vigor"], label = label)
    if (!is.null(case$index)) {
      expect_identical(zoo::index(all), case$index, label = label)
      expect_identical(zoo::index(one), case$index, label = label)
      expect_identical(colnames(one), "trend_vigor")
    } else {
      expect_identical(rownames(all), case$rows, label = label)
      expect_null(dim(one), label = label)
      expect_identical(names(one), case$names, label = label)
    }
  }
})

test_that("prices are rounded to 32-bit floats as the library takes them", {
  prices <- randomBars(60)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  asFloat <- function(x) readBin(writeBin(x, raw(), size = 4L), "double", n = length(x), size = 4L)
  expect_identical(tamselIndicators(high, low), tamselIndicators(asFloat(high), asFloat(low)))
  # Integer prices and the largest float are prices like any other.
  expect_no_error(cyclePeriod(c(1L, 2L, 3L), c(1L, 1L, 2L)))
  expect_no_error(cyclePeriod(c(1, 3.4028234e38), c(1, 1)))
})

test_that("bad arguments are refused with a message that says what to pass", {
  prices <- randomBars(20)
  cases <- list(
    list(args = list(1:3, 1:4), message = "equal lengths, got 3 and 4"),
    list(args = list(c("1", "2"), c("1", "2")), message = "must be numbers, not character"),
    list(args = list(factor(1:3), 1:3), message = "must be numbers, not factor"),
    list(args = list(prices[, c("Open", "Close")]), message = 'no column is the high price among the columns "Open", "Close"'),
    list(args = list(cbind(prices, AAPL.High = 1)), message = "several columns could be the high prices"),
    list(args = list(quantmod::Hi(prices), quantmod::Lo(prices)[-1]), message = "equal lengths"),
    list(args = list(quantmod::Hi(prices), zoo::as.zoo(quantmod::Lo(prices))[rev(seq_len(20))]), message = NA),
    list(args = list(quantmod::Hi(prices), xts::xts(as.numeric(prices$Low), zoo::index(prices) + 1)),
         message = "not on the same index"),
    list(args = list(quantmod::Hi(prices), as.numeric(prices$Low)), message = "not on the same index"),
    list(args = list(1:10), message = "or give the high and low prices as two vectors"),
    list(args = list(prices, missing = "drop"), message = "should be one of"),
    list(args = list(prices, warmup = "none"), message = "warmup must be"),
    list(args = list(prices, warmup = -1), message = "warmup must be"),
    list(args = list(prices, warmup = 2.5), message = "warmup must be"),
    list(args = list(prices, warmup = NA), message = "warmup must be")
  )
  for (case in cases) {
    if (is.na(case$message)) {
      # Series on the same index (whatever their order of construction) pair up.
      expect_no_error(do.call(tamselIndicators, case$args))
    } else {
      expect_error(do.call(tamselIndicators, case$args), case$message, fixed = TRUE)
    }
  }
})

test_that("an empty series gives no values", {
  expect_identical(cyclePeriod(numeric(0), numeric(0)), numeric(0))
  expect_identical(dim(tamselIndicators(numeric(0), numeric(0))), c(0L, 4L))
  expect_identical(nrow(tamselIndicators(randomBars(5)[0])), 0L)
})

test_that("each missing-price policy does what its word says", {
  prices <- randomBars(80)
  clean <- tamselIndicators(prices)
  cases <- list(
    list(value = NA_real_, shown = "NA", missing = TRUE),
    list(value = NaN, shown = "NaN", missing = TRUE),
    list(value = Inf, shown = "Inf", missing = FALSE),
    list(value = -Inf, shown = "-Inf", missing = FALSE),
    list(value = 1e39, shown = "1e+39", missing = FALSE)
  )
  for (case in cases) {
    for (column in c("High", "Low")) {
      gappy <- prices
      gappy[30, column] <- case$value
      what <- paste(case$shown, "in", column)
      where <- sprintf("the %s price of row 30 (%s) is %s;", tolower(column), format(zoo::index(prices)[30]), case$shown)
      # error: the first bad bar, its date and column, and the ways out.
      message <- tryCatch(swingPosition(gappy), error = conditionMessage)
      expect_match(message, where, fixed = TRUE, label = what)
      expect_match(message, 'missing = "nan"', fixed = TRUE, label = what)
      if (case$missing) {
        expect_match(message, 'missing = "previous"', fixed = TRUE, label = what)
        # previous: exactly the values of the series with bar 29's price repeated.
        filled <- prices
        filled[30, column] <- prices[29, column]
        expect_identical(tamselIndicators(gappy, missing = "previous"), tamselIndicators(filled), label = what)
      } else {
        # An infinity is no price to repeat.
        expect_error(tamselIndicators(gappy, missing = "previous"), where, fixed = TRUE, label = what)
      }
      # nan: the price reaches the library; the bars before it are untouched.
      passed <- tamselIndicators(gappy, missing = "nan")
      expect_identical(passed[1:29], clean[1:29], label = what)
      expect_true(is.nan(as.numeric(passed[80, "swing_position"])), label = what)
    }
  }
  # The first bad bar is named, whatever its kind; on one bar the high first.
  gappy <- prices
  gappy[50, "High"] <- NA
  gappy[40, "Low"] <- Inf
  gappy[40, "High"] <- NaN
  expect_error(cyclePeriod(gappy), "the high price of row 40 .* is NaN; a missing price")
  expect_error(cyclePeriod(gappy, missing = "previous"), "the low price of row 40 .* is Inf; correct or drop")
})

test_that("missing = \"previous\" repeats the last good price through a gap, and cannot fill a leading gap", {
  high <- c(10, 11, NA, NA, 12, NaN)
  low <- c(9, NA, 10, 10, 11, 11)
  expect_identical(
    tamselIndicators(high, low, missing = "previous"),
    tamselIndicators(c(10, 11, 11, 11, 12, 12), c(9, 9, 10, 10, 11, 11))
  )
  for (leading in list(list(c(NA, 2, 3), c(1, 1, 2)), list(c(2, 2, 3), c(NaN, NA, 2)))) {
    expect_error(do.call(cyclePeriod, c(leading, missing = "previous")), "of row 1 is .*no earlier price")
  }
  # A whole column missing is a leading gap too; missing = "nan" takes it.
  expect_error(cyclePeriod(c(NA_real_, NA_real_), c(1, 2), missing = "previous"), "no earlier price")
  expect_identical(cyclePeriod(c(NA_real_, NA_real_), c(1, 2), missing = "nan"), c(0, 0))
})

test_that("the warm-up option blanks exactly the start-up bars", {
  prices <- randomBars(120)
  values <- tamselIndicators(prices)
  startUp <- tamselWarmup()
  # The same bars as the library's header and its Python package give.
  expect_identical(startUp, c(cycle_period = 14L, signal_to_noise = 12L, swing_position = 50L, trend_vigor = 29L))
  cases <- list(
    list(warmup = "values", blank = c(cycle_period = 0, signal_to_noise = 0, swing_position = 0, trend_vigor = 0)),
    list(warmup = "nan", blank = startUp),
    list(warmup = 0, blank = c(cycle_period = 0, signal_to_noise = 0, swing_position = 0, trend_vigor = 0)),
    list(warmup = 30L, blank = c(cycle_period = 30, signal_to_noise = 30, swing_position = 30, trend_vigor = 30)),
    list(warmup = 500, blank = c(cycle_period = 120, signal_to_noise = 120, swing_position = 120, trend_vigor = 120))
  )
  for (case in cases) {
    blanked <- tamselIndicators(prices, warmup = case$warmup)
    expect_identical(zoo::index(blanked), zoo::index(prices))
    for (column in names(singles)) {
      label <- paste("warmup", case$warmup, column)
      hidden <- seq_len(case$blank[[column]])
      single <- singles[[column]](prices, warmup = case$warmup)
      expect_true(all(is.nan(blanked[hidden, column])), label = label)
      kept <- setdiff(seq_len(120), hidden)
      expect_identical(as.numeric(blanked[kept, column]), as.numeric(values[kept, column]), label = label)
      expect_identical(single, blanked[, column], label = label)
    }
  }
})

test_that("the start-up bars are those on which every series shows its start-up values", {
  # The table of tamselWarmup() against the library's documented start-up
  # values, on every finite golden series long enough to show them.
  for (series in golden()) {
    table <- series$table
    if (nrow(table) < 60 || !all(is.finite(table[, c("high", "low")]))) next
    expect_identical(table[1:14, "cycle_period"], c(0, 0, rep(18, 12)), label = series$name)
    expect_true(all(table[15:nrow(table), "cycle_period"] >= 6 & table[15:nrow(table), "cycle_period"] <= 30),
      label = series$name
    )
    expect_identical(table[1:12, "signal_to_noise"], rep(1, 12), label = series$name)
  }
})
