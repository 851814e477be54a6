# SPDX-License-Identifier: MIT
# The price input of the batch functions: what a caller may pass, and how the
# result takes the caller's shape again.

# The column of `frame` holding the wanted price ("high" or "low"), by the
# library's column-name rule: its name is the word in any case, maybe in <>
# or after a dot (AAPL.High), and nothing that merely contains the word
# (SlowMA, Lowest, HighWaterMark).  None or several such columns are refused:
# a guess could compute silently with the wrong prices.
priceColumn <- function(frame, wanted, caller) {
  found <- which(columnNameMatches(colnames(frame), wanted))
  if (length(found) == 0L) {
    stop(caller, ": no column is the ", wanted, " price among ", columnList(frame),
      "; name the price columns High and Low (any case, also as AAPL.High or <HIGH>), ",
      "or give the high and low prices as two vectors",
      call. = FALSE
    )
  }
  if (length(found) > 1L) {
    stop(caller, ": several columns could be the ", wanted, " prices: ", columnList(frame, found),
      "; keep one of them",
      call. = FALSE
    )
  }
  # read.csv() and fread() name a repeated column High, High.1, ...: the
  # prices could be in either, and taking the first would be a guess.
  name <- colnames(frame)[found]
  repeats <- which(startsWith(colnames(frame), paste0(name, ".")) &
    grepl("^[1-9][0-9]*$", substring(colnames(frame), nchar(name) + 2L)))
  if (length(repeats) > 0L) {
    stop(caller, ": the ", wanted, " price column \"", name, "\" looks repeated: ", columnList(frame, repeats),
      " are the names read.csv() gives a repeated column; drop the ones that are not the ", wanted, " prices",
      call. = FALSE
    )
  }
  found
}

columnList <- function(frame, which = seq_len(ncol(frame))) {
  # The names are taken from the whole frame: a data frame's subscript
  # renames repeated names (High, High.1), which the caller never wrote.
  names <- colnames(frame)[which]
  if (is.null(names) || length(names) == 0L) return("no named columns")
  paste0("the columns ", paste0("\"", names, "\"", collapse = ", "))
}

# bit64's integer64 keeps each 64-bit integer in the bytes of a double, so
# R's own as.double() would read those bytes as a tiny or negative double
# whenever bit64 is not loaded (as after readRDS() of a saved table).  The
# integers are rebuilt from the bytes instead, in four 16-bit words: exact up
# to 2^53, beyond it rounded once (so the order of the values is kept), and
# bit64's NA (the least 64-bit integer) as NA.
fromInteger64 <- function(values) {
  bytes <- writeBin(as.vector(unclass(values), "double"), raw(), size = 8L, endian = "little")
  words <- matrix(readBin(bytes, "integer", n = 4L * length(values), size = 2L, signed = FALSE, endian = "little"), 4L)
  top <- words[4L, ] - ifelse(words[4L, ] >= 32768L, 65536, 0)
  numbers <- ((top * 65536 + words[3L, ]) * 65536 + words[2L, ]) * 65536 + words[1L, ]
  numbers[top == -32768 & words[3L, ] == 0L & words[2L, ] == 0L & words[1L, ] == 0L] <- NA_real_
  numbers
}

# One price column as a double vector, refusing anything that is not numbers.
asPrices <- function(values, what, caller) {
  if (is.data.frame(values)) {
    # Only one column is a column of prices: the first of several would be
    # taken silently (an Open column for the high).
    if (ncol(values) != 1L) {
      stop(caller, ": ", what, " must be one column of prices, not a data frame of ", ncol(values), " columns",
        call. = FALSE
      )
    }
    values <- values[[1L]]
  }
  if (xts::is.xts(values) || zoo::is.zoo(values)) values <- zoo::coredata(values)
  if (!is.null(dim(values))) {
    if (length(dim(values)) != 2L || ncol(values) != 1L) {
      stop(caller, ": ", what, " must be one column of prices, not ", paste(dim(values), collapse = " x "),
        call. = FALSE
      )
    }
    values <- values[, 1L]
  }
  # R's bare NA is logical: a column of nothing but NA holds missing prices.
  if (is.logical(values) && all(is.na(values))) values <- as.double(values)
  if (!is.numeric(values) || is.factor(values)) {
    stop(caller, ": ", what, " prices must be numbers, not ", class(values)[1L], call. = FALSE)
  }
  if (inherits(values, "integer64")) return(fromInteger64(values))
  as.double(values)
}

# The row names of a price vector or one-column table given as HL with low,
# for the result: a data frame's or matrix's row names, not its column name.
rowNamesOf <- function(prices) {
  if (is.data.frame(prices)) return(if (.row_names_info(prices) > 0L) row.names(prices) else NULL)
  if (!is.null(dim(prices))) return(rownames(prices))
  names(prices)
}

# Splits the caller's arguments into high and low double vectors plus what is
# needed to shape the result like the input:
#   kind   "xts", "zoo", "data.frame", "matrix" or "vector"
#   like   the object whose index or row names the result takes
#   times  the bars' times, as barTimes() gives them, or NULL
# order is the order option: its "as-given" reads the times for messages only.
priceInput <- function(HL, low, caller, order = "oldest-first") {
  check <- order != "as-given"
  if (!is.null(low)) {
    like <- HL
    high <- asPrices(HL, "high", caller)
    lowPrices <- asPrices(low, "low", caller)
    if (length(high) != length(lowPrices)) {
      stop(caller, ": high and low must have equal lengths, got ", length(high), " and ", length(lowPrices),
        call. = FALSE
      )
    }
    if (zoo::is.zoo(HL) || zoo::is.zoo(low)) {
      # Two series are paired by their index, never by position alone.
      if (!zoo::is.zoo(HL) || !zoo::is.zoo(low) || !identical(as.numeric(zoo::index(HL)), as.numeric(zoo::index(low)))) {
        stop(caller, ": high and low are not on the same index; align them first, e.g. with merge()",
          call. = FALSE
        )
      }
      kind <- if (xts::is.xts(HL)) "xts" else "zoo"
      return(list(high = high, low = lowPrices, kind = kind, like = like, times = barTimes(HL, kind, caller, check)))
    }
    return(list(high = high, low = lowPrices, kind = "vector", like = rowNamesOf(HL), times = NULL))
  }
  if (is.null(HL)) stop(caller, ": no prices given", call. = FALSE)
  kind <- if (xts::is.xts(HL)) {
    "xts"
  } else if (zoo::is.zoo(HL)) {
    "zoo"
  } else if (is.data.frame(HL)) {
    "data.frame"
  } else if (is.matrix(HL)) {
    "matrix"
  } else {
    stop(caller, ": HL must be an object with High and Low columns (an OHLC xts, a matrix or a data frame), ",
      "or give the high and low prices as two vectors: ", caller, "(high, low)",
      call. = FALSE
    )
  }
  # The columns of a series are taken from its data: zoo's own subscript
  # fails on a series without rows.
  table <- if (kind %in% c("xts", "zoo")) zoo::coredata(HL) else HL
  high <- asPrices(table[, priceColumn(table, "high", caller), drop = FALSE], "high", caller)
  lowPrices <- asPrices(table[, priceColumn(table, "low", caller), drop = FALSE], "low", caller)
  list(high = high, low = lowPrices, kind = kind, like = HL, times = barTimes(HL, kind, caller, check))
}

# Row i of the input as a message names it: "row 30", with its time (of a
# series, or of a data frame's time column) or else its row or element name.
rowName <- function(input, i) {
  like <- input$like
  label <- if (!is.null(input$times)) {
    input$times$labels[i]
  } else {
    switch(input$kind,
      data.frame = if (.row_names_info(like) > 0L) row.names(like)[i] else NULL,
      matrix = rownames(like)[i],
      vector = like[i]
    )
  }
  paste0("row ", i, if (is.null(label) || is.na(label)) "" else paste0(" (", label, ")"))
}

# A result in the shape of the input: an xts or zoo on the input's index,
# otherwise a plain vector (one indicator) or a matrix or data frame (several)
# with the input's row names.
shapeResult <- function(values, input) {
  one <- ncol(values) == 1L
  like <- input$like
  switch(input$kind,
    xts = xts::.xts(values, xts::.index(like), tclass = xts::tclass(like), tzone = xts::tzone(like)),
    zoo = zoo::zoo(values, zoo::index(like)),
    data.frame = {
      names <- if (.row_names_info(like) > 0L) row.names(like) else NULL
      if (one) stats::setNames(values[, 1L], names) else data.frame(values, row.names = names)
    },
    matrix = if (one) stats::setNames(values[, 1L], rownames(like)) else `rownames<-`(values, rownames(like)),
    vector = if (one) stats::setNames(values[, 1L], like) else `rownames<-`(values, like)
  )
}
