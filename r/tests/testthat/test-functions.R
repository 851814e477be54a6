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

# bit64's integer64 built without bit64, as readRDS() gives a saved table back
# in a session that has not loaded it: each whole number (|x| < 2^53, or NA)
# in the eight bytes of a double.
asInteger64 <- function(x) {
  high <- floor(x / 2^32)
  low <- x - high * 2^32
  signed <- function(word) suppressWarnings(as.integer(ifelse(word >= 2^31, word - 2^32, word)))
  words <- rbind(signed(low), signed(high))
  words[, is.na(x)] <- c(0L, NA_integer_)
  bytes <- writeBin(as.vector(words), raw(), size = 4L, endian = "little")
  structure(readBin(bytes, "double", n = length(x), size = 8L, endian = "little"), class = "integer64")
}

test_that("a price argument is one column of numbers, read as the numbers it holds", {
  prices <- randomBars(40)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  days <- format(zoo::index(prices))
  expected <- tamselIndicators(high, low)
  # A data frame of several columns as the high prices: its first column (an
  # Open) was taken silently.
  frame <- data.frame(Open = high - 5, High = high, Low = low)
  for (call in list(
    function() tamselIndicators(frame, low), function() trendVigor(frame, low),
    function() tamselStream()$push(frame[1, ], low[1]), function() tamselStream()$peek(high[1], frame[1, ])
  )) {
    expect_error(call(), "must be one column of prices, not a data frame of 3 columns")
  }
  # A one-column data frame or matrix as the high prices: the result has its
  # row names, not its column name recycled as the first row's name.
  for (one in list(data.frame(High = high, row.names = days), matrix(high, dimnames = list(days, "High")))) {
    expect_identical(names(trendVigor(one, low)), days)
    expect_identical(unname(trendVigor(one, low)), unname(expected[, "trend_vigor"]))
    expect_identical(tamselIndicators(one, low), `rownames<-`(expected, days))
  }
  expect_identical(trendVigor(data.frame(High = high), low), expected[, "trend_vigor"])
  # integer64 prices are their numbers, with or without bit64 loaded: their
  # bytes were read as doubles near 0.
  cents <- round(high * 100)
  lowCents <- round(low * 100)
  expect_identical(tamselIndicators(asInteger64(cents), asInteger64(lowCents)), tamselIndicators(cents, lowCents))
  table <- data.frame(Low = lowCents)
  table$High <- asInteger64(cents)
  expect_identical(tamselIndicators(table), as.data.frame(tamselIndicators(cents, lowCents)))
  stream <- tamselStream()
  expect_identical(stream$push(asInteger64(cents), asInteger64(lowCents)), tamselStream()$push(cents, lowCents))
  expect_identical(tamselcharts:::fromInteger64(asInteger64(c(-1, 2^53 - 1, -(2^53 - 1), 0, 4294967296, NA))),
                   c(-1, 2^53 - 1, -(2^53 - 1), 0, 4294967296, NA))
  expect_error(cyclePeriod(asInteger64(c(1, NA, 3)), c(1, 1, 1)), "the high price of row 2 is NA", fixed = TRUE)
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

test_that("every shared missing-price case has its listed outcome, for NaN and for NA", {
  for (case in readPolicyCases()) {
    for (missingValue in c("NaN", "NA")) {
      convert <- if (missingValue == "NA") asRMissing else identity
      high <- convert(case$high)
      low <- convert(case$low)
      label <- paste(case$line, "with", missingValue)
      if (case$ok) {
        # The indicators get exactly the listed prices, passed on as they are.
        expect_identical(tamselIndicators(high, low, missing = case$policy),
          tamselIndicators(case$takenHigh, case$takenLow, missing = "nan"),
          label = label
        )
        next
      }
      bars <- xts::xts(cbind(High = high, Low = low), as.Date("2024-01-01") + seq_along(high) - 1L)
      for (input in list(list(high, low), list(bars))) {
        refused <- tryCatch(do.call(cyclePeriod, c(input, missing = case$policy)), tamselPriceProblem = identity)
        expect_s3_class(refused, "tamselPriceProblem")
        expect_identical(c(refused$kind, refused$column), c(case$kind, case$column), label = label)
        expect_identical(refused$bar, case$bar, label = label)
        missingKind <- case$kind %in% c("missing", "no-previous")
        expect_identical(inherits(refused, "tamselMissingPrice"), missingKind, label = label)
        expect_identical(inherits(refused, "tamselBadPrice"), !missingKind, label = label)
        given <- if (case$column == "high") high[case$bar] else low[case$bar]
        expect_identical(refused$price, given, label = label)
        # The message names the row (and its date for a series) and a way out.
        where <- sprintf("the %s price of row %d%s is", case$column, case$bar,
                         if (length(input) == 1L) paste0(" (", format(zoo::index(bars)[case$bar]), ")") else "")
        expect_match(conditionMessage(refused), where, fixed = TRUE, label = label)
        expect_match(conditionMessage(refused), 'missing = "nan"', fixed = TRUE, label = label)
      }
    }
  }
})

test_that("the price columns are those a person would take, by the library's column-name rule", {
  # Each column name, and the price it holds (NA: none).
  names <- c(
    "High" = "high", "Low" = "low", "high" = "high", "LOW" = "low", "<HIGH>" = "high", "<LOW>" = "low",
    " High " = "high", "AAPL.High" = "high", "AAPL.Low" = "low", "BRK.B.Low" = "low", "^GSPC.High" = "high",
    "SlowMA" = NA, "Lowest" = NA, "Highest" = NA, "HighWaterMark" = NA, "LowVolume" = NA, "Below" = NA,
    "Adj.Close" = NA, "AAPL.Adjusted" = NA, "Close" = NA, "Open" = NA, "Volume" = NA, "<OPEN>" = NA,
    "High_Low" = NA, "HL" = NA, "Hi" = NA, "Lo" = NA, "high low" = NA, "Flow" = NA, "AAPL.Highest" = NA
  )
  expect_length(names, 30L)
  prices <- randomBars(30)
  expected <- tamselIndicators(as.numeric(prices$High), as.numeric(prices$Low))
  for (name in names(names)) {
    # The named column beside an Open column, completed by the other price.
    other <- if (identical(names[[name]], "high")) "Low" else "High"
    frame <- data.frame(Open = 1, x = as.numeric(prices[, if (is.na(names[[name]])) "Close" else if (names[[name]] == "high") "High" else "Low"]),
                        y = as.numeric(prices[, other]), check.names = FALSE)
    names(frame)[2:3] <- c(name, other)
    if (is.na(names[[name]])) {
      # Only one price column is there: the lookup refuses, naming the columns.
      message <- tryCatch(tamselIndicators(frame), error = conditionMessage)
      expect_match(message, "no column is the low price", fixed = TRUE, label = name)
      expect_match(message, paste0('"', name, '"'), fixed = TRUE, label = name)
    } else {
      expect_identical(unname(as.matrix(tamselIndicators(frame))), unname(expected), label = name)
    }
  }
  # A moving average beside the prices is not taken for one, whatever its name holds.
  close <- as.numeric(prices$Close)
  expect_error(tamselIndicators(data.frame(High = close, Close = close, SlowMA = close)), "no column is the low price")
  expect_error(tamselIndicators(data.frame(High = close, Low = close, `<low>` = close, check.names = FALSE)),
               'several columns could be the low prices: the columns "Low", "<low>"', fixed = TRUE)
  # Repeated names are named as given, not as a data frame's subscript renames them.
  expect_error(tamselIndicators(data.frame(High = close, High = close, Low = close, check.names = FALSE)),
               'several columns could be the high prices: the columns "High", "High";', fixed = TRUE)
  # read.csv() of a header naming the high twice: which one holds the prices is not guessed.
  twice <- read.csv(text = paste0("High,Low,High\n", paste(close, close, close, sep = ",", collapse = "\n")))
  expect_error(tamselIndicators(twice), 'the high price column "High" looks repeated: the columns "High.1" are', fixed = TRUE)
  expect_identical(tamselIndicators(data.frame(High = close, Low = close, High.x = close, Low.0 = close)),
                   tamselIndicators(data.frame(High = close, Low = close)))
})

test_that("rows with times are taken in time order only, or refused naming the rows", {
  prices <- randomBars(60)
  dates <- zoo::index(prices)
  expected <- tamselIndicators(as.numeric(prices$High), as.numeric(prices$Low))
  frameOf <- function(rows, time = dates) {
    data.frame(Date = time[rows], High = as.numeric(prices$High)[rows], Low = as.numeric(prices$Low)[rows])
  }
  values <- function(result) unname(as.matrix(result))
  # Oldest first, as a Date, a POSIXct, text or a column that is not called
  # Date but holds dates: the values of the bars.
  stamps <- as.POSIXct("2024-03-01 09:30", tz = "UTC") + 60 * seq_len(60)
  for (frame in list(
    frameOf(1:60), frameOf(1:60, stamps), frameOf(1:60, format(dates)),
    stats::setNames(frameOf(1:60), c("Day", "High", "Low")),
    data.frame(`<DATE>` = format(dates, "%Y.%m.%d"), `<TIME>` = "00:00", High = as.numeric(prices$High),
               Low = as.numeric(prices$Low), check.names = FALSE)
  )) {
    expect_identical(values(tamselIndicators(frame)), unname(expected), label = names(frame)[1])
  }
  # Newest first: computed oldest first, given back in the rows' order.
  newest <- frameOf(60:1)
  expect_error(tamselIndicators(newest), 'run newest first; pass order = "newest-first"', fixed = TRUE)
  reversed <- tamselIndicators(newest, order = "newest-first")
  expect_identical(values(reversed), unname(expected[60:1, ]))
  expect_identical(trendVigor(newest, order = "newest-first"), unname(expected[60:1, "trend_vigor"]))
  expect_error(tamselIndicators(frameOf(1:60), order = "newest-first"), "run oldest first, but", fixed = TRUE)
  # Shuffled or repeated rows are refused, naming the two rows.
  shuffled <- frameOf(c(1:10, 12, 11, 13:60))
  expect_error(tamselIndicators(shuffled), sprintf(
    "are not in time order: row 12 (%s) comes after row 11 (%s)", format(dates[11]), format(dates[12])
  ), fixed = TRUE)
  repeated <- frameOf(c(1:30, 30:59))
  expect_error(cyclePeriod(repeated), sprintf(
    "repeat a time: row 31 (%s) has the time of row 30", format(dates[30])
  ), fixed = TRUE)
  expect_error(tamselIndicators(frameOf(1:60, replace(dates, 7, NA))), "row 7 has no time in the column Date")
  expect_error(tamselIndicators(frameOf(1:60, replace(format(dates), 3, "soon"))), "cannot be read as bar times")
  # order = "as-given" takes the rows as they are.
  expect_identical(values(tamselIndicators(shuffled, order = "as-given")),
                   values(tamselIndicators(shuffled$High, shuffled$Low)))
  expect_error(tamselIndicators(frameOf(1:60), order = "sorted"), "should be one of")
})

test_that("a row without a time, or at an infinite one, is refused by its row, not ordered anywhere", {
  prices <- randomBars(60)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  expected <- unname(tamselIndicators(high, low))
  values <- function(result) unname(as.matrix(zoo::coredata(result)))
  # Inf - Inf is NaN, which no step test catches: two infinite times at the
  # end or the start passed as times in order.
  for (case in list(
    list(times = c(1:58, Inf, Inf), row = "row 59 (Inf)"),
    list(times = c(-Inf, -Inf, 3:60), row = "row 1 (-Inf)"),
    list(times = .POSIXct(c(1:59, Inf), tz = "UTC"), row = "row 60 (Inf)"),
    list(times = structure(c(1:29, Inf, 31:60), class = "Date"), row = "row 30 (Inf)")
  )) {
    frame <- data.frame(Time = case$times, High = high, Low = low)
    expect_error(tamselIndicators(frame), paste(case$row, "has no time in the column Time"), fixed = TRUE)
    expect_error(tamselIndicators(frame[60:1, ], order = "newest-first"), "has no time in the column Time", fixed = TRUE)
    expect_identical(values(tamselIndicators(frame, order = "as-given")), expected)
  }
  # zoo sorts an NA or NaN time last: that bar was computed as the newest.
  for (missing in list(NA_real_, NaN, Inf)) {
    times <- c(1:40, missing, 42:60)
    series <- suppressWarnings(zoo::zoo(cbind(High = high, Low = low), times))
    expect_error(tamselIndicators(series), sprintf("row 60 (%s) has no time in the index", format(missing)), fixed = TRUE)
    expect_error(cyclePeriod(series[, "High"], series[, "Low"]), "has no time in the index", fixed = TRUE)
    expect_identical(values(tamselIndicators(series, order = "as-given")), unname(tamselIndicators(high[order(times)], low[order(times)])))
  }
  # A time column of integer64 (epoch milliseconds, as data.table reads them)
  # is ordered by its numbers with or without bit64 loaded: its bytes read as
  # doubles put negative times after positive ones and its NA at -0.
  milliseconds <- 1704067200000 + 60000 * (0:59)
  for (case in list(
    list(times = milliseconds, error = NA),
    list(times = -rev(milliseconds), error = NA),
    list(times = c(-30:-1, 0:29), error = NA),
    list(times = rev(milliseconds), error = "run newest first"),
    list(times = replace(milliseconds, 60, NA), error = "row 60 (NA) has no time in the column Timestamp"),
    list(times = replace(milliseconds, 31, milliseconds[30]), error = "row 31 (1704068940000) has the time of row 30")
  )) {
    frame <- data.frame(High = high, Low = low)
    frame$Timestamp <- asInteger64(case$times)
    if (is.na(case$error)) {
      expect_identical(values(tamselIndicators(frame)), expected)
    } else {
      expect_error(tamselIndicators(frame), case$error, fixed = TRUE)
    }
  }
  frame <- data.frame(High = rev(high), Low = rev(low))
  frame$Timestamp <- asInteger64(rev(milliseconds))
  expect_identical(values(tamselIndicators(frame, order = "newest-first")), expected[60:1, ])
})

test_that("times written as text are read whole, their AM, PM and zone offsets included", {
  prices <- randomBars(60)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  expected <- unname(tamselIndicators(high, low))
  values <- function(result) unname(as.matrix(result))
  frameOf <- function(times) data.frame(Date = times, High = high, Low = low)
  clock <- function(minutes) sprintf("%02d:%02d", minutes %/% 60L, minutes %% 60L)
  # Minutes 0, 7, 14, ... after 10:00 UTC, each written on a clock 2 minutes
  # further ahead of UTC than the last: the clock times fall while the times
  # rise, and the other way round.
  later <- 600L + 7L * (0:59)
  offsets <- 2L * (0:59)
  rising <- sprintf("2024-01-02T%s:00+%s", clock(later + offsets), clock(offsets))
  expect_identical(values(tamselIndicators(frameOf(sub("+00:00", "Z", rising, fixed = TRUE)))), expected)
  earlier <- 600L - (0:59)
  falling <- sprintf("2024-01-02T%s:00+%s", clock(earlier + offsets), clock(offsets))
  # The offsets were cut off, and the rising clock taken for rising times.
  expect_error(tamselIndicators(frameOf(falling)), "run newest first", fixed = TRUE)
  expect_identical(values(tamselIndicators(frameOf(rev(falling)))), expected)
  westward <- sprintf("2024-01-02 %s-%s", clock(later - offsets), sub(":", "", clock(offsets), fixed = TRUE))
  expect_identical(values(tamselIndicators(frameOf(westward))), expected)
  # A 12-hour clock: 1:00 PM to 1:29 PM and then 2:00 AM to 2:29 AM were read
  # as 1:00 to 2:29 in order.
  twelve <- sprintf("2024-01-01 %02d:%02d %s", rep(c(1L, 2L), each = 30L), rep(0:29, 2L), rep(c("PM", "AM"), each = 30L))
  expect_error(tamselIndicators(frameOf(twelve)), sprintf(
    "are not in time order: row 31 (%s) comes after row 30 (%s)", twelve[31], twelve[30]
  ), fixed = TRUE)
  midnight <- 15L * (0:59)
  hours <- (midnight %/% 60L) %% 12L
  noon <- sprintf("2024-01-01 %d:%02d %s", ifelse(hours == 0L, 12L, hours), midnight %% 60L,
                  ifelse(midnight < 720L, "am", "pm"))
  expect_identical(values(tamselIndicators(frameOf(noon))), expected)
  # A zone given by name: the same on every row, the clock orders the rows;
  # EDT and EST (the hour that repeats in November) cannot be ordered by it.
  expect_identical(values(tamselIndicators(frameOf(paste("2024-01-02", clock(later), "EST")))), expected)
  fallBack <- c("2024-11-03 01:00 EST", "2024-11-03 01:30 EDT", paste("2024-11-03", clock(120L + 0:57), "EST"))
  expect_error(tamselIndicators(frameOf(fallBack)), "gives times in several zones (EST, EDT)", fixed = TRUE)
  expect_error(tamselIndicators(frameOf(c(paste("2024-01-02", clock(later[1:59]), "EST"), "2024-01-02 23:00"))), "names the zone of some times (EST)",
               fixed = TRUE)
  # Times to the second and to the minute side by side: the seconds were cut
  # off all of them, and 09:30:50 taken for 09:30.
  mixed <- paste("2024-01-02", ifelse(seq_len(60) %% 2L == 0L, paste0(clock(later), ":00"), clock(later)))
  mixed[2] <- "2024-01-02 10:00:50.5"
  expect_identical(values(tamselIndicators(frameOf(mixed))), expected)
  # Anything else on a row is no time; the first such row is named.
  days <- format(as.Date("2024-01-01") + 0:59)
  for (case in list(
    list(text = replace(days, 5, "2024-01-05 (holiday)"), row = 5),
    list(text = replace(days, 2, "2024-02-30"), row = 2),
    list(text = replace(days, 9, "2024-01-09 25:00"), row = 9),
    list(text = replace(days, 9, "2024011"), row = 9),
    list(text = paste(days, "close"), row = 1),
    list(text = paste(days, "NA"), row = 1)
  )) {
    expect_error(tamselIndicators(frameOf(case$text)), sprintf(
      "the column Date cannot be read as bar times (such as 2024-01-31 or 2024-01-31 09:30), so the order of the rows cannot be checked: row %d is \"%s\"",
      case$row, case$text[case$row]
    ), fixed = TRUE)
  }
  # order = "as-given", the way out each of these errors names, takes the
  # rows without reading their times: it failed on the same error.
  unreadable <- frameOf(replace(days, 5, "soon"))
  unreadable$High[7] <- NA
  expect_identical(values(tamselIndicators(unreadable, order = "as-given", missing = "previous")),
                   unname(tamselIndicators(replace(high, 7, high[6]), low)))
  expect_error(tamselIndicators(unreadable, order = "as-given"), sprintf("the high price of row 7 (%s) is NA", days[7]),
               fixed = TRUE)
  # A date and a time column: a row missing either part has no time.
  split <- data.frame(Date = rep(days[1:30], each = 2L), Time = rep(c("9:30", "16:00"), 30L), High = high, Low = low)
  expect_identical(values(tamselIndicators(split)[, 1:4]), expected)
  split$Time[8] <- NA
  expect_error(tamselIndicators(split), "row 8 has no time in the columns Date and Time", fixed = TRUE)
  # A missing value of a column that is not text is missing too, not the text "NA".
  split$Time <- NA
  expect_error(tamselIndicators(split), "row 1 has no time in the columns Date and Time", fixed = TRUE)
  expect_error(tamselIndicators(frameOf(NA)), "row 1 has no time in the column Date", fixed = TRUE)
})

test_that("of several columns of times, the one named as the bars' times orders them, or none", {
  prices <- randomBars(40)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  days <- zoo::index(prices)
  expected <- unname(tamselIndicators(high, low))
  values <- function(result) unname(as.matrix(result))
  # A column of other dates beside the bars' dates: the dates of the bars
  # are checked, whichever column comes first.
  named <- data.frame(Expiry = rev(days) + 90, Date = days, High = high, Low = low)
  expect_identical(values(tamselIndicators(named)), expected)
  expect_error(tamselIndicators(transform(named, Date = rev(Date))), "the rows by the column Date run newest first",
               fixed = TRUE)
  # Neither named as the bars' times: the rows were checked by the first
  # alone, which here runs oldest first while the bars run newest first.
  unnamed <- data.frame(Listed = days, Day = rev(days), High = high, Low = low)
  expect_error(tamselIndicators(unnamed), 'several columns hold times: the columns "Listed", "Day"; keep', fixed = TRUE)
  expect_identical(values(tamselIndicators(unnamed, order = "as-given")), expected)
  stamps <- data.frame(Opened = as.POSIXct(days), Closed = as.POSIXct(days) + 3600, High = high, Low = low)
  expect_error(tamselIndicators(stamps), "several columns hold times", fixed = TRUE)
})

test_that("a series with a repeated time is refused, naming the rows", {
  prices <- randomBars(40)
  twice <- xts::xts(zoo::coredata(prices), zoo::index(prices)[c(1:20, 20:39)])
  message <- tryCatch(tamselIndicators(twice), error = conditionMessage)
  expect_match(message, sprintf("the index repeats times, at row 21 (%s)", format(zoo::index(twice)[21])),
               fixed = TRUE)
  expect_error(cyclePeriod(suppressWarnings(zoo::as.zoo(twice))), "the index repeats times")
  expect_error(cyclePeriod(quantmod::Hi(twice), quantmod::Lo(twice)), "the index repeats times")
  expect_identical(zoo::index(tamselIndicators(twice, order = "as-given")), zoo::index(twice))
  expect_error(tamselIndicators(prices, order = "newest-first"), "always in time order")
})

test_that("a zoo series indexed by text is checked as times, not trusted to be in order", {
  prices <- randomBars(40)
  days <- zoo::index(prices)
  expected <- unname(zoo::coredata(tamselIndicators(prices)))
  values <- function(result) unname(zoo::coredata(result))
  # zoo sorts a text index as text: 01/02/2024 comes before 02/01/2024.
  for (index in list(format(days, "%d/%m/%Y"), factor(format(days, "%d/%m/%Y")))) {
    series <- zoo::zoo(zoo::coredata(prices), index)
    expect_error(tamselIndicators(series), "the index cannot be read as bar times", fixed = TRUE)
    expect_identical(zoo::index(tamselIndicators(series, order = "as-given")), zoo::index(series))
  }
  # 2020-1-10 sorts before 2020-1-2, which comes 9 rows later.
  unpadded <- zoo::zoo(zoo::coredata(prices), paste(2020, as.integer(format(days, "%m")), as.integer(format(days, "%d")), sep = "-"))
  expect_error(tamselIndicators(unpadded),
               "the rows by the index are not in time order: row 12 (2020-1-2) comes after row 11 (2020-1-19)", fixed = TRUE)
  # Text that sorts as its times do is a series in order like any other.
  written <- zoo::zoo(zoo::coredata(prices), format(days))
  expect_identical(values(tamselIndicators(written)), expected)
  expect_identical(zoo::index(tamselIndicators(written)), format(days))
  expect_error(tamselIndicators(written, order = "newest-first"), "run oldest first", fixed = TRUE)
})

test_that("an input without rows gives a result without rows, of its own class", {
  noRows <- matrix(numeric(0), 0L, 2L, dimnames = list(NULL, c("High", "Low")))
  days <- as.Date(character(0))
  inputs <- list(
    xts = xts::xts(noRows, days), zoo = zoo::zoo(noRows, days),
    data.frame = as.data.frame(noRows), matrix = noRows
  )
  for (kind in names(inputs)) {
    all <- tamselIndicators(inputs[[kind]])
    one <- swingPosition(inputs[[kind]])
    expect_true(inherits(all, kind), label = kind)
    expect_identical(dim(all), c(0L, 4L), label = kind)
    expect_length(one, 0L)
    if (kind %in% c("xts", "zoo")) expect_true(inherits(one, kind), label = kind)
  }
  two <- trendVigor(zoo::zoo(numeric(0), days), zoo::zoo(numeric(0), days))
  expect_s3_class(two, "zoo")
  expect_length(two, 0L)
})

test_that("the package's version is the library header's", {
  versions <- .Call(tamselcharts:::C_tamsel_r_versions)
  expect_identical(as.character(utils::packageVersion("tamselcharts")), versions[["header"]])
  expect_identical(versions[["library"]], versions[["header"]])
})

test_that("the indicators and their start-up bars are the library's table, in its order", {
  expect_identical(names(tamselWarmup()), colnames(tamselIndicators(randomBars(5))))
  expect_identical(names(tamselWarmup()), c("cycle_period", "signal_to_noise", "swing_position", "trend_vigor"))
  expect_identical(tamselcharts:::missingPolicies(), c("error", "previous", "nan"))
})
