# SPDX-License-Identifier: MIT
# Stream snapshots: stream$save() and tamselStreamLoad() resume with the same
# bits, the repository's committed snapshot loads, bad bytes are refused with
# the library's reason, and a serialised stream keeps its state.

# The committed snapshot: a stream after the first 1,000 bars of the golden
# series walk_long (staged next to these tests by tools/stage-library.sh).
committedSnapshot <- function() {
  path <- test_path("snapshot-format-1.bin")
  if (!file.exists(path)) stop("no snapshot at ", path, "; run tools/stage-library.sh in the repository")
  readBin(path, "raw", file.size(path))
}

snapshotRefusal <- function(bytes) tryCatch(tamselStreamLoad(bytes), tamselSnapshotError = identity)

test_that("a stream saved after any of several bars resumes with the golden values of the stream never saved", {
  for (series in golden()) {
    high <- series$table[, "high"]
    low <- series$table[, "low"]
    n <- length(high)
    # Around the start of each indicator's output and of the filter bank, and
    # in the middle and at the end of the series.
    cuts <- unique(pmin(n, c(0L, 1L, 12L, 13L, 14L, 29L, 30L, 50L, 51L, n %/% 2L, n - 1L, n)))
    neverSaved <- tamselStream(missing = "nan")
    expected <- matrix(neverSaved$push(high, low), ncol = 4L)
    for (k in seq_len(4L)) {
      column <- indicatorColumns()[k]
      expect_same_bits(expected[, k], series, column, paste(series$name, column))
    }
    for (cut in cuts) {
      what <- sprintf("%s saved after bar %d", series$name, cut)
      original <- tamselStream(missing = "nan")
      if (cut > 0L) original$push(high[seq_len(cut)], low[seq_len(cut)])
      snapshot <- original$save()
      resumed <- tamselStreamLoad(snapshot)
      expect_identical(resumed$bars, cut, label = what)
      # A loaded stream saves the bytes it was loaded from.
      expect_identical(resumed$save(), snapshot, label = what)
      if (cut == n) next
      rest <- seq.int(cut + 1L, n)
      after <- matrix(resumed$push(high[rest], low[rest]), ncol = 4L)
      # Bit for bit: num.eq = FALSE tells 0 from -0.
      expect_true(identical(after, expected[rest, , drop = FALSE], num.eq = FALSE), label = what)
      expect_identical(resumed$save(), neverSaved$save(), label = what)
    }
  }
})

test_that("the committed snapshot loads and continues to the golden values of walk_long", {
  snapshot <- committedSnapshot()
  series <- golden()[["walk_long"]]
  stream <- tamselStreamLoad(snapshot)
  expect_identical(stream$bars, 1000L)
  # The same stream gives the same bytes on every build.
  fresh <- tamselStream()
  fresh$push(series$table[1:1000, "high"], series$table[1:1000, "low"])
  expect_identical(fresh$save(), snapshot)
  rest <- 1001:nrow(series$table)
  after <- stream$push(series$table[rest, "high"], series$table[rest, "low"])
  expected <- list(table = series$table[rest, ], bits = lapply(series$bits, function(b) b[, rest, drop = FALSE]))
  for (column in colnames(after)) expect_same_bits(after[, column], expected, column, paste("walk_long", column))
})

test_that("the policy and the last prices travel in the snapshot, the warm-up option does not", {
  previous <- tamselStream(missing = "previous")
  previous$push(c(10, 11), c(9, 10))
  resumed <- tamselStreamLoad(previous$save())
  # The missing high repeats bar 2's price.
  expect_identical(unname(resumed$push(NA, 12)), unname(tamselIndicators(c(10, 11, 11), c(9, 10, 12)))[3, ])
  # An infinite price passes only with missing = "nan".
  passing <- tamselStreamLoad(tamselStream(missing = "nan")$save())
  expect_length(passing$push(c(1, Inf), c(1, 1)), 8L)
  refusing <- tamselStreamLoad(tamselStream()$save())
  expect_error(refusing$push(NA, 1), "push: missing price: the high price of bar 1 is NA", fixed = TRUE)
  # warmup belongs to the R stream: given again, it counts from the saved
  # stream's first bar.
  prices <- randomBars(40)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  early <- tamselStream()
  early$push(high[1:10], low[1:10])
  late <- tamselStreamLoad(early$save(), warmup = "nan")
  expected <- unname(tamselIndicators(high, low, warmup = "nan"))[11:40, ]
  expect_identical(unname(late$push(high[11:40], low[11:40])), expected)
  expect_error(tamselStreamLoad(early$save(), warmup = "x"), "warmup must be", fixed = TRUE)
})

test_that("a snapshot written to a file with writeBin() and read back with readBin() resumes the stream", {
  prices <- randomBars(120)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  stream <- tamselStream()
  stream$push(high[1:70], low[1:70])
  path <- tempfile(fileext = ".snapshot")
  on.exit(unlink(path))
  writeBin(stream$save(), path)
  expect_identical(file.size(path), 11372)
  resumed <- tamselStreamLoad(readBin(path, "raw", file.size(path)))
  expect_identical(resumed$push(high[71:120], low[71:120]), stream$push(high[71:120], low[71:120]))
})

test_that("cut, changed and foreign bytes are refused with the library's reason", {
  snapshot <- committedSnapshot()
  flipped <- function(at, bit = 1L) {
    bytes <- snapshot
    bytes[at] <- xor(bytes[at], as.raw(bit))
    bytes
  }
  cases <- list(
    list(bytes = raw(0), reason = 2L, text = "not a snapshot of a TamselCharts stream"),
    list(bytes = snapshot[1:7], reason = 1L, text = "too short for a snapshot"),
    list(bytes = snapshot[1:100], reason = 1L, text = "too short for a snapshot"),
    list(bytes = snapshot[-length(snapshot)], reason = 1L, text = "too short for a snapshot"),
    list(bytes = flipped(1L), reason = 2L, text = "not a snapshot"),
    list(bytes = flipped(9L, 2L), reason = 3L, text = "a snapshot in a format this version of TamselCharts does not read"),
    list(bytes = flipped(2000L), reason = 4L, text = "a damaged snapshot"),
    list(bytes = flipped(length(snapshot), 128L), reason = 4L, text = "a damaged snapshot"),
    list(bytes = c(snapshot, as.raw(0)), reason = 4L, text = "a damaged snapshot"),
    list(bytes = c(snapshot, raw(100000L)), reason = 4L, text = "a damaged snapshot"),
    list(bytes = charToRaw(paste(rep("garbage", 2000L), collapse = "")), reason = 2L, text = "not a snapshot")
  )
  for (case in cases) {
    label <- sprintf("%d bytes, reason %d", length(case$bytes), case$reason)
    refused <- snapshotRefusal(case$bytes)
    expect_s3_class(refused, "tamselSnapshotError")
    expect_identical(refused$reason, case$reason, label = label)
    expect_true(startsWith(conditionMessage(refused), paste0("tamselStreamLoad: ", case$text)), label = label)
    expect_match(conditionMessage(refused), sprintf("(%d bytes given)", length(case$bytes)), fixed = TRUE, label = label)
  }
  expect_error(tamselStreamLoad("snapshot.bin"), 'readBin(path, "raw", file.size(path))', fixed = TRUE)
  expect_error(tamselStreamLoad(as.integer(snapshot)), "snapshot must be a raw vector", fixed = TRUE)
})

test_that("a stream written with saveRDS() or serialize() reads back as an independent stream where it was", {
  prices <- randomBars(150)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  stream <- tamselStream(missing = "previous", warmup = "nan")
  stream$push(high[1:20], low[1:20])
  path <- tempfile(fileext = ".rds")
  on.exit(unlink(path))
  saveRDS(stream, path)
  gc()
  before <- tamselcharts:::liveStreams()
  restored <- readRDS(path)
  # One stream restored, not one per reference to it.
  expect_identical(tamselcharts:::liveStreams(), before + 1L)
  expect_identical(restored$bars, 20L)
  copy <- unserialize(serialize(stream, NULL))
  # A missing price repeats the last one, and the swing position is NaN until
  # its warm-up ends, in all three.
  high[21] <- NA
  rest <- 21:150
  expected <- stream$push(high[rest], low[rest])
  expect_true(is.nan(expected[30L, "swing_position"]))
  expect_identical(restored$push(high[rest], low[rest]), expected)
  expect_identical(copy$push(high[rest], low[rest]), expected)
  expect_identical(c(stream$bars, restored$bars, copy$bars), c(150L, 150L, 150L))
})

test_that("a stream restored without its state says to use save() and tamselStreamLoad(), a closed one stays closed", {
  stream <- tamselStream()
  stream$push(c(10, 11), c(9, 10))
  path <- tempfile(fileext = ".rds")
  on.exit(unlink(path))
  # Serialization version 2 has no way to carry the state.
  saveRDS(stream, path, version = 2)
  restored <- readRDS(path)
  for (call in list(
    function() restored$push(1, 1), function() restored$peek(1, 1),
    function() restored$clone(), function() restored$reset(), function() restored$save()
  )) {
    expect_error(call(), "does not hold its state.*keep a stream with stream\\$save\\(\\) and load it with tamselStreamLoad\\(\\)")
  }
  expect_silent(restored$close())
  # The original is unaffected.
  expect_identical(stream$bars, 2L)
  expect_length(stream$push(12, 11), 4L)
  stream$close()
  closed <- unserialize(serialize(stream, NULL))
  expect_error(closed$push(1, 1), "the stream is closed", fixed = TRUE)
  expect_error(stream$save(), "the stream is closed", fixed = TRUE)
})

test_that("a serialised stream whose snapshot was damaged reads back, and says why it cannot go on", {
  stream <- tamselStream()
  stream$push(c(10, 11), c(9, 10))
  bytes <- serialize(list(stream = stream, note = "kept"), NULL, xdr = TRUE)
  mark <- as.raw(c(0x89, 0x54, 0x53, 0x4e, 0x50))
  at <- which(vapply(seq_len(length(bytes) - 4L), function(i) identical(bytes[i:(i + 4L)], mark), TRUE))
  expect_length(at, 1L)
  bytes[at + 2000L] <- xor(bytes[at + 2000L], as.raw(1))
  restored <- unserialize(bytes)
  # Everything else in the file is still there.
  expect_identical(restored$note, "kept")
  expect_error(restored$stream$push(1, 1), "could not be loaded: a damaged snapshot", fixed = TRUE)
})

test_that("a stream saved with saveRDS() continues in a new R session", {
  prices <- randomBars(90)
  high <- as.numeric(prices$High)
  low <- as.numeric(prices$Low)
  stream <- tamselStream()
  stream$push(high[1:60], low[1:60])
  input <- tempfile(fileext = ".rds")
  output <- tempfile(fileext = ".rds")
  on.exit(unlink(c(input, output)))
  saveRDS(list(stream = stream, high = high[61:90], low = low[61:90]), input)
  script <- sprintf(
    "saved <- readRDS('%s'); saveRDS(saved$stream$push(saved$high, saved$low), '%s')",
    normalizePath(input, winslash = "/"), normalizePath(output, winslash = "/", mustWork = FALSE)
  )
  status <- system2(file.path(R.home("bin"), "Rscript"), c("-e", shQuote(script)),
    env = paste0("R_LIBS=", paste(.libPaths(), collapse = .Platform$path.sep)), stdout = FALSE, stderr = FALSE
  )
  expect_identical(status, 0L)
  expect_identical(readRDS(output), stream$push(high[61:90], low[61:90]))
})
