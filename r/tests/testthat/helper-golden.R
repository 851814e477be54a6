# SPDX-License-Identifier: MIT
# The repository's golden outputs (tests/golden/golden.bin, staged next to
# these tests by tools/stage-library.sh; TAMSELCHARTS_GOLDEN names another):
# "TSGOLD01", a uint32 series count, then per series a uint32-prefixed name, a
# uint32 bar count and six little-endian float32 per bar: high, low, then the
# four indicators.
goldenPath <- function() {
  given <- Sys.getenv("TAMSELCHARTS_GOLDEN")
  if (nzchar(given)) return(given)
  test_path("golden.bin")
}

goldenColumns <- c("high", "low", "cycle_period", "signal_to_noise", "swing_position", "trend_vigor")

readGolden <- function(path = goldenPath()) {
  if (!file.exists(path)) stop("no golden file at ", path, "; run tools/stage-library.sh in the repository")
  bytes <- readBin(path, "raw", file.size(path))
  if (!identical(rawToChar(bytes[1:8]), "TSGOLD01")) stop(path, " is not a golden file")
  u32 <- function(at) readBin(bytes[at:(at + 3L)], "integer", size = 4L, endian = "little")
  count <- u32(9L)
  at <- 13L
  series <- vector("list", count)
  for (i in seq_len(count)) {
    length <- u32(at)
    name <- rawToChar(bytes[(at + 4L):(at + 3L + length)])
    at <- at + 4L + length
    bars <- u32(at)
    at <- at + 4L
    block <- bytes[at:(at + bars * 24L - 1L)]
    at <- at + bars * 24L
    table <- matrix(readBin(block, "double", n = bars * 6L, size = 4L, endian = "little"), ncol = 6L, byrow = TRUE)
    colnames(table) <- goldenColumns
    # The four bytes of each value, one column per bar: bit patterns that R's
    # integers cannot all hold (-0.0 would read as NA).
    bytesOf <- matrix(block, nrow = 24L)
    bits <- lapply(seq_along(goldenColumns), function(k) bytesOf[(4L * k - 3L):(4L * k), , drop = FALSE])
    names(bits) <- goldenColumns
    series[[i]] <- list(name = name, table = table, bits = bits)
  }
  if (at != length(bytes) + 1L) stop("trailing bytes after the last series of ", path)
  names(series) <- vapply(series, `[[`, "", "name")
  series
}

golden <- local({
  cache <- NULL
  function() {
    if (is.null(cache)) cache <<- readGolden()
    cache
  }
})

# Equal as the library's outputs are compared everywhere: bit for bit (so 0
# and -0 differ), any NaN equal to any NaN.  expected is a golden series, and
# column one of its columns.
expect_same_bits <- function(actual, expected, column, what) {
  actual <- as.double(zoo::coredata(actual))
  wantedNaN <- is.nan(expected$table[, column])
  expect_equal(length(actual), length(wantedNaN), label = paste(what, "length"))
  actualBytes <- matrix(writeBin(actual, raw(), size = 4L, endian = "little"), nrow = 4L)
  sameBits <- colSums(actualBytes != expected$bits[[column]]) == 0
  same <- ifelse(is.nan(actual) | wantedNaN, is.nan(actual) & wantedNaN, sameBits)
  first <- which(!same)[1L]
  expect(is.na(first), sprintf(
    "%s: first difference at bar %d: %.9g, expected %.9g", what, first, actual[first],
    expected$table[first, column]
  ))
}

# A random walk of OHLC bars on consecutive days.
randomBars <- function(bars, seed = 1L, level = 100) {
  set.seed(seed)
  mid <- level + cumsum(stats::rnorm(bars, sd = level * 0.01))
  half <- level * 0.005 * (0.2 + stats::runif(bars))
  xts::xts(cbind(Open = mid, High = mid + half, Low = mid - half, Close = mid),
    order.by = as.Date("2020-01-01") + seq_len(bars) - 1L
  )
}
