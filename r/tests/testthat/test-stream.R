# SPDX-License-Identifier: MIT
# The stream: bar by bar exactly the batch values, peek, clone, reset, its
# life time, and the missing and warm-up options.

test_that("pushed bar by bar and in blocks, every golden series gives its golden values", {
  for (series in golden()) {
    high <- series$table[, "high"]
    low <- series$table[, "low"]
    oneByOne <- tamselStream(missing = "nan")
    rows <- lapply(seq_along(high), function(i) oneByOne$push(high[i], low[i]))
    byBar <- do.call(rbind, rows)
    blocks <- tamselStream(missing = "nan")
    cut <- seq_len(max(1L, length(high) %/% 2L))
    inBlocks <- matrix(blocks$push(high[cut], low[cut]), ncol = 4L)
    if (length(high) > length(cut)) inBlocks <- rbind(inBlocks, blocks$push(high[-cut], low[-cut]))
    colnames(inBlocks) <- colnames(byBar)
    for (column in colnames(byBar)) {
      expect_same_bits(byBar[, column], series, column, paste(series$name, column, "pushed"))
      expect_same_bits(inBlocks[, column], series, column, paste(series$name, column, "in blocks"))
    }
    expect_identical(oneByOne$bars, length(high))
    expect_identical(blocks$bars, length(high))
  }
})

test_that("a peek gives the values its push gives and commits nothing", {
  series <- golden()[["cycle_20"]]$table
  stream <- tamselStream()
  for (i in seq_len(nrow(series))) {
    # A forming bar first, then the closed one.
    stream$peek(series[i, "high"] * 1.01, series[i, "low"])
    peeked <- stream$peek(series[i, "high"], series[i, "low"])
    expect_identical(stream$bars, i - 1L)
    expect_identical(stream$push(series[i, "high"], series[i, "low"]), peeked)
  }
  expect_named(peeked, c("cycle_period", "signal_to_noise", "swing_position", "trend_vigor"))
})

test_that("a clone continues exactly as the original, and reset starts over", {
  prices <- randomBars(300)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  expected <- unname(zoo::coredata(tamselIndicators(prices)))
  original <- tamselStream()
  original$push(high[1:150], low[1:150])
  copy <- original$clone()
  expect_identical(copy$bars, 150L)
  expect_identical(unname(copy$push(high[151:300], low[151:300])), expected[151:300, ])
  # The original went on untouched by its clone's bars.
  expect_identical(unname(original$push(high[151:300], low[151:300])), expected[151:300, ])
  original$reset()
  expect_identical(original$bars, 0L)
  expect_identical(unname(original$push(high, low)), expected)
  expect_identical(copy$bars, 300L)
})

test_that("streams are freed by the finaliser, or at once by close()", {
  gc()
  before <- tamselcharts:::liveStreams()
  local({
    streams <- lapply(1:50, function(i) tamselStream())
    streams[[1]]$push(1, 1)
    clone <- streams[[1]]$clone()
    expect_identical(tamselcharts:::liveStreams(), before + 51L)
  })
  gc()
  expect_identical(tamselcharts:::liveStreams(), before)
  stream <- tamselStream()
  stream$close()
  stream$close()
  expect_identical(tamselcharts:::liveStreams(), before)
  expect_error(stream$push(1, 1), "the stream is closed")
})

test_that("a stream restored from a saved copy has its state: every function works on it", {
  stream <- tamselStream()
  stream$push(c(10, 11), c(9, 10))
  path <- tempfile(fileext = ".rds")
  on.exit(unlink(path))
  saveRDS(stream, path)
  expected <- stream$clone()$push(12, 11)
  for (call in list(
    function(s) s$push(12, 11), function(s) s$peek(12, 11), function(s) s$clone()$push(12, 11),
    function(s) s$reset()$push(c(10, 11, 12), c(9, 10, 11))[3, ]
  )) {
    expect_identical(call(readRDS(path)), expected)
  }
  # The original is unaffected.
  expect_identical(stream$bars, 2L)
  expect_length(stream$push(12, 11), 4L)
})

test_that("the missing and warm-up options mean in a stream what they mean in a batch", {
  prices <- randomBars(70)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  high[c(20, 21)] <- NA
  low[40] <- NaN
  cases <- list(
    list(missing = "previous", warmup = "values"),
    list(missing = "previous", warmup = "nan"),
    list(missing = "nan", warmup = 25),
    list(missing = "nan", warmup = "nan")
  )
  # An infinite price only passes with missing = "nan".
  expect_error(tamselStream(missing = "previous")$push(c(1, Inf), c(1, 1)), "push: infinite price: the high price of bar 2 is Inf")
  expect_length(tamselStream(missing = "nan")$push(c(1, Inf), c(1, 1)), 8L)
  for (case in cases) {
    label <- paste(case$missing, case$warmup)
    batch <- unname(tamselIndicators(high, low, missing = case$missing, warmup = case$warmup))
    stream <- tamselStream(missing = case$missing, warmup = case$warmup)
    pushed <- unname(t(vapply(seq_along(high), function(i) stream$push(high[i], low[i]), numeric(4))))
    expect_identical(pushed, batch, label = label)
    peeker <- tamselStream(missing = case$missing, warmup = case$warmup)
    peeker$push(high[1:19], low[1:19])
    expect_identical(unname(peeker$peek(high[20], low[20])), batch[20, ], label = label)
  }
})

test_that("a bad bar is refused whole, naming its bar number, and commits nothing", {
  stream <- tamselStream()
  stream$push(c(10, 11, 12), c(9, 10, 11))
  expect_error(stream$push(c(13, NA), c(12, 12)), "push: missing price: the high price of bar 5 is NA")
  expect_error(stream$peek(13, NaN), "peek: missing price: the low price of bar 4 is NaN")
  expect_identical(stream$bars, 3L)
  first <- tamselStream(missing = "previous")
  expect_error(first$push(NA, 1), "of bar 1 is NA.*no earlier price")
  expect_identical(first$bars, 0L)
  # After a reset there is no previous bar either.
  first$push(10, 9)
  first$reset()
  expect_error(first$peek(1, NA), "no earlier price")
  cases <- list(
    list(call = function(s) s$push(numeric(0), numeric(0)), message = "no bar given"),
    list(call = function(s) s$push(1:2, 1), message = "equal lengths"),
    list(call = function(s) s$peek(1:2, 1:2), message = "takes one bar"),
    list(call = function(s) s$push("1", 1), message = "must be numbers"),
    list(call = function(s) tamselStream(warmup = "x"), message = "warmup must be"),
    list(call = function(s) tamselStream(missing = "zero"), message = "should be one of")
  )
  for (case in cases) expect_error(case$call(stream), case$message, fixed = TRUE)
  expect_identical(stream$bars, 3L)
  expect_output(print(stream), "<tamselStream: 3 bars>", fixed = TRUE)
})

test_that("every shared missing-price case has its listed outcome in a stream, bar by bar and in one push", {
  for (case in readPolicyCases()) {
    high <- asRMissing(case$high)
    low <- asRMissing(case$low)
    if (case$ok) {
      expected <- unname(tamselIndicators(case$takenHigh, case$takenLow, missing = "nan"))
      byBar <- tamselStream(missing = case$policy)
      pushed <- t(vapply(seq_along(high), function(i) byBar$push(high[i], low[i]), numeric(4)))
      expect_identical(unname(pushed), expected, label = case$line)
      block <- tamselStream(missing = case$policy)
      expect_identical(unname(matrix(block$push(high, low), ncol = 4L)), expected, label = case$line)
      next
    }
    # Bar by bar: the bars before the refused one are taken, it is not.
    stream <- tamselStream(missing = case$policy)
    if (case$bar > 1L) stream$push(high[seq_len(case$bar - 1L)], low[seq_len(case$bar - 1L)])
    for (call in list(stream$peek, stream$push)) {
      refused <- tryCatch(call(high[case$bar], low[case$bar]), tamselPriceProblem = identity)
      expect_s3_class(refused, "tamselPriceProblem")
      expect_identical(list(refused$kind, refused$column, refused$bar), list(case$kind, case$column, case$bar),
                       label = case$line)
      expect_match(conditionMessage(refused), sprintf("the %s price of bar %d is", case$column, case$bar),
                   fixed = TRUE, label = case$line)
    }
    expect_identical(stream$bars, case$bar - 1L, label = case$line)
    # In one push: nothing is committed.
    block <- tamselStream(missing = case$policy)
    refused <- tryCatch(block$push(high, low), tamselPriceProblem = identity)
    expect_identical(refused$bar, case$bar, label = case$line)
    expect_identical(block$bars, 0L, label = case$line)
  }
})

test_that("a refused push of several bars leaves the stream as it was, its last prices included", {
  stream <- tamselStream(missing = "previous")
  stream$push(c(10, 11), c(9, 10))
  expect_error(stream$push(c(12, 13, Inf), c(11, 12, 12)), "the high price of bar 5 is Inf", fixed = TRUE)
  expect_identical(stream$bars, 2L)
  # The missing high repeats bar 2's price, not the refused block's.
  expected <- unname(tamselIndicators(c(10, 11, 11), c(9, 10, 10)))[3, ]
  expect_identical(unname(stream$push(NA, NA)), expected)
  # A clone and a reset keep the stream's policy.
  expect_identical(unname(stream$clone()$push(NA, 11)), unname(tamselIndicators(c(10, 11, 11, 11), c(9, 10, 10, 11)))[4, ])
  stream$reset()
  expect_error(stream$push(NA, 1), "no earlier price")
})

# ---- stream sets ------------------------------------------------------------

# Every series through one set, member j from interval starts[j] on and
# without a bar where skip(j, t); each member's values bar by bar.
pushMembers <- function(set, series, starts, skip) {
  count <- length(series)
  taken <- lapply(series, function(s) matrix(NA_real_, nrow(s$table), 4L))
  nextBar <- integer(count)
  t <- 0L
  while (any(nextBar < vapply(series, function(s) nrow(s$table), 0L))) {
    hasBar <- vapply(seq_len(count), function(j) {
      t >= starts[j] && nextBar[j] < nrow(series[[j]]$table) && !skip(j, t)
    }, TRUE)
    # A member without a bar gets a price its policy would refuse: it must
    # not be looked at.
    high <- vapply(seq_len(count), function(j) if (hasBar[j]) series[[j]]$table[nextBar[j] + 1L, "high"] else NA, 0)
    low <- vapply(seq_len(count), function(j) if (hasBar[j]) series[[j]]$table[nextBar[j] + 1L, "low"] else NA, 0)
    latest <- set$push(high, low, hasBar)
    for (j in which(hasBar)) {
      nextBar[j] <- nextBar[j] + 1L
      taken[[j]][nextBar[j], ] <- latest[j, ]
    }
    expect_identical(set$bars, nextBar)
    t <- t + 1L
  }
  taken
}

test_that("every member of a set gives its own series' bits, whatever its neighbours, start and gaps", {
  all <- golden()
  names <- c("walk_1.000000", "cycle_20", "nan_at_200", "minus_inf_at_40", "swapped", "short_7", "walk_long")
  series <- c(all[names], rep(list(all[["walk_long"]]), 4L))
  for (warmup in list("values", "nan", 40)) {
    set <- tamselStreamSet(length(series), missing = "nan", warmup = warmup)
    taken <- pushMembers(set, series, (seq_along(series) * 7L) %% 31L, function(j, t) j %% 3L == 1L && t %% 5L == 2L)
    set$close()
    for (j in seq_along(series)) {
      expected <- tamselIndicators(series[[j]]$table[, "high"], series[[j]]$table[, "low"], missing = "nan",
        warmup = warmup
      )
      for (k in 1:4) {
        same <- identical(taken[[j]][, k], as.double(expected[, k]))
        expect_true(same, label = paste("member", j, colnames(expected)[k], "warmup", warmup))
      }
    }
  }
  # The golden values themselves, through the same set.
  set <- tamselStreamSet(2L)
  walk <- all[["walk_long"]]
  rows <- t(vapply(seq_len(nrow(walk$table)), function(i) {
    set$push(walk$table[i, c("high", "high")], walk$table[i, c("low", "low")])[2L, ]
  }, numeric(4)))
  for (k in 1:4) expect_same_bits(rows[, k], walk, goldenColumns[k + 2L], paste("golden", goldenColumns[k + 2L]))
})

test_that("a refused price names the member and its bar, and no member advances", {
  prices <- randomBars(120)
  high <- as.double(prices$High)
  low <- as.double(prices$Low)
  set <- tamselStreamSet(3)
  alone <- tamselStreamSet(3)
  for (i in 1:50) {
    set$push(rep(high[i], 3), rep(low[i], 3), c(TRUE, i %% 2L == 0L, TRUE))
    alone$push(rep(high[i], 3), rep(low[i], 3), c(TRUE, i %% 2L == 0L, TRUE))
  }
  before <- set$bars
  refusal <- expect_error(set$push(rep(high[51], 3), c(low[51], NA, low[51])), class = "tamselMissingPrice")
  expect_match(conditionMessage(refusal), "^push: missing price: the low price of bar 26 of member 2 is NA; ")
  expect_identical(refusal$bar, 26L)
  expect_identical(set$bars, before)
  for (i in 51:120) {
    ours <- set$push(c(high[i], Inf, high[i]), c(low[i], NA, low[i]), c(TRUE, FALSE, TRUE))
    expect_identical(ours, alone$push(c(high[i], 0, high[i]), c(low[i], 0, low[i]), c(TRUE, FALSE, TRUE)))
  }
})

test_that("set members and streams share snapshots, and a restored set says what it lost", {
  walk <- golden()[["walk_long"]]$table
  half <- nrow(walk) %/% 2L
  set <- tamselStreamSet(2, missing = "previous")
  for (i in seq_len(half)) set$push(walk[i, c("high", "high")], walk[i, c("low", "low")], c(TRUE, i <= 10L))
  resumed <- tamselStreamLoad(set$save(1))
  expect_identical(resumed$bars, half)
  rest <- resumed$push(walk[-seq_len(half), "high"], walk[-seq_len(half), "low"])
  expect_identical(unname(rest[, "trend_vigor"]), as.double(walk[-seq_len(half), "trend_vigor"]))

  stream <- tamselStream(missing = "nan")
  stream$push(walk[1:30, "high"], walk[1:30, "low"])
  set$load(2, stream$save())
  expect_identical(c(set$missing(1), set$missing(2)), c("previous", "nan"))
  expect_identical(set$bars, c(half, 30L))
  latest <- set$push(c(walk[half + 1L, "high"], NA), c(walk[half + 1L, "low"], NA), c(TRUE, FALSE))
  # Member 2 has no values until its next bar.
  expect_true(all(is.nan(latest[2L, ])))
  expect_identical(unname(latest[1L, "cycle_period"]), as.double(walk[half + 1L, "cycle_period"]))

  damaged <- set$save(2)
  damaged[length(damaged)] <- as.raw(bitwXor(as.integer(damaged[length(damaged)]), 1L))
  refusal <- expect_error(set$load(2, damaged), class = "tamselSnapshotError")
  expect_match(conditionMessage(refusal), "^load: ")
  expect_error(set$load(2, "bytes"), "snapshot must be a raw vector")
  expect_identical(set$bars, c(half + 1L, 30L))

  restored <- unserialize(serialize(set, NULL))
  expect_error(restored$push(c(1, 1), c(1, 1)), "restored from a copy")
})

test_that("a set checks its arguments and refuses calls once closed", {
  for (members in list(0, -1, 2.5, NA, "3", c(2, 3), 2^31)) {
    expect_error(tamselStreamSet(members), "members must be a whole number")
  }
  expect_error(tamselStreamSet(2, missing = "skip"))
  set <- tamselStreamSet(2)
  expect_identical(set$members, 2L)
  expect_error(set$push(1, 1), "one price per member")
  expect_error(set$push(c(1, 2), c("1", "2")), "prices must be numbers")
  expect_error(set$push(c(1, 2), c(1, 2), c(TRUE, NA)), "hasBar must be TRUE or FALSE")
  expect_error(set$push(c(1, 2), c(1, 2), c(1, 0)), "hasBar must be TRUE or FALSE")
  expect_error(set$save(3), "member must be a whole number from 1 to 2")
  expect_error(set$missing(0), "member must be a whole number from 1 to 2")
  first <- set$push(c(101, 101), c(99, 99), c(TRUE, FALSE))
  expect_identical(unname(first[, "cycle_period"]), c(0, NaN))
  expect_output(print(set), "<tamselStreamSet: 2 members>")
  set$close()
  set$close()
  expect_error(set$push(c(1, 1), c(1, 1)), "closed")
  expect_error(set$save(1), "closed")
})
