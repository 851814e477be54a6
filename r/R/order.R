# SPDX-License-Identifier: MIT
# The order of the bars.  The indicators run oldest bar first; a table whose
# rows are reversed, shuffled or repeated would give values that look right
# and are not, so where the input carries times they are checked.
#   "oldest-first"  the rows run oldest first (checked where there are times)
#   "newest-first"  the rows run newest first (checked where there are times):
#                   computed oldest first, the values given in the rows' order
#   "as-given"      the rows are taken in their order, times not looked at
barOrders <- c("oldest-first", "newest-first", "as-given")

# Names a column of bar times may have, compared by the library's
# column-name rule (so also <DATE> or X.Date).
timeColumnNames <- c("date", "datetime", "time", "timestamp")

# Formats a character time column may be written in.
timeFormats <- c(
  "%Y-%m-%d %H:%M:%OS", "%Y-%m-%dT%H:%M:%OS", "%Y/%m/%d %H:%M:%OS", "%Y.%m.%d %H:%M:%OS",
  "%Y-%m-%d %H:%M", "%Y-%m-%dT%H:%M", "%Y/%m/%d %H:%M", "%Y.%m.%d %H:%M",
  "%Y-%m-%d", "%Y/%m/%d", "%Y.%m.%d", "%Y%m%d"
)

# The numbers of a time column or index that are numbers (as they are, or an
# integer64's whole numbers), with their text for messages.
numericTimes <- function(values) {
  if (inherits(values, "integer64")) {
    keys <- fromInteger64(values)
    return(list(keys = keys, labels = ifelse(is.na(keys), "NA", formatC(keys, format = "f", digits = 0L))))
  }
  list(keys = as.numeric(values), labels = trimws(format(values)))
}

# The bars' times of an input: list(keys, labels, what, sorted), keys numbers
# that order the bars (an index's own values where sorted), labels their
# text for messages, what the times' source ("the index", "the column
# Date"), sorted whether the input keeps its rows in the order of the keys
# already (a zoo or xts index of numbers or times); NULL for an input
# without times.  A series has its index; a data frame or matrix the column
# of class Date or POSIXt, or else the columns named as times (a date and a
# time column are read together).
barTimes <- function(HL, kind, caller) {
  if (kind %in% c("xts", "zoo")) {
    index <- zoo::index(HL)
    # zoo sorts an integer64 index by its bytes, which is not the order of
    # its numbers without bit64.
    if (inherits(index, "integer64")) return(c(numericTimes(index), what = "the index", sorted = FALSE))
    return(list(keys = index, labels = format(index), what = "the index", sorted = TRUE))
  }
  if (!kind %in% c("data.frame", "matrix") || is.null(colnames(HL))) return(NULL)
  columns <- lapply(seq_len(ncol(HL)), function(j) HL[, j, drop = TRUE])
  classed <- which(vapply(columns, function(column) inherits(column, c("Date", "POSIXt")), NA))
  named <- which(Reduce(`|`, lapply(timeColumnNames, function(name) columnNameMatches(colnames(HL), name))))
  chosen <- if (length(classed) > 0L) classed else named
  if (length(chosen) == 0L) return(NULL)
  what <- paste0(if (length(chosen) == 1L) "the column " else "the columns ", paste(colnames(HL)[chosen], collapse = " and "))
  if (length(chosen) == 1L && (is.numeric(columns[[chosen]]) || inherits(columns[[chosen]], c("Date", "POSIXt")))) {
    return(c(numericTimes(columns[[chosen]]), what = what, sorted = FALSE))
  }
  text <- do.call(paste, lapply(columns[chosen], format))
  parsed <- tryCatch(as.POSIXct(text, tz = "UTC", tryFormats = timeFormats, optional = TRUE), error = function(e) NULL)
  if (is.null(parsed) || anyNA(parsed[!is.na(text) & nzchar(trimws(text))])) {
    stop(caller, ": ", what, " cannot be read as bar times (such as 2024-01-31 or 2024-01-31 09:30), ",
      "so the order of the rows cannot be checked; convert it with as.Date() or as.POSIXct(), ",
      'or pass order = "as-given" to take the rows as they are',
      call. = FALSE
    )
  }
  list(keys = as.numeric(parsed), labels = text, what = what, sorted = FALSE)
}

# The input's rows in time order, oldest first, as positions in the input.
takeOrder <- function(input, order, caller) {
  bars <- length(input$high)
  if (order == "as-given" || bars == 0L) return(seq_len(bars))
  rows <- if (order == "newest-first") rev(seq_len(bars)) else seq_len(bars)
  times <- input$times
  if (is.null(times)) return(rows)
  # A bar without a time, or at an infinite one, has no place among the
  # others: zoo sorts an NA time last, where it was computed as the newest
  # bar, and an infinite time stepped to another (Inf - Inf is NaN) was
  # taken for one in order.
  keys <- times$keys[rows]
  noTime <- if (is.double(keys)) !is.finite(keys) else is.na(keys)
  if (any(noTime)) {
    at <- rows[which(noTime)[1L]]
    stop(caller, ": ", rowName(input, at), " has no time in ", times$what,
      '; drop the row, or pass order = "as-given" to take the rows as they are',
      call. = FALSE
    )
  }
  if (times$sorted) {
    if (order == "newest-first") {
      stop(caller, ': an ', input$kind, ' series is always in time order, oldest first; drop order = "newest-first"',
        call. = FALSE
      )
    }
    repeated <- which(duplicated(times$keys))
    if (length(repeated) > 0L) {
      shown <- utils::head(repeated, 3L)
      stop(caller, ": the index repeats times, at ", paste(vapply(shown, function(i) rowName(input, i), ""), collapse = ", "),
        if (length(repeated) > 3L) paste0(" and ", length(repeated) - 3L, " more") else "",
        "; keep one bar per time (e.g. with xts::make.index.unique(x, drop = TRUE)), ",
        'or pass order = "as-given" to take the rows as they are',
        call. = FALSE
      )
    }
    return(rows)
  }
  steps <- diff(keys)
  wrong <- which(steps <= 0)
  if (length(wrong) == 0L) return(rows)
  later <- rows[wrong[1L] + 1L]
  earlier <- rows[wrong[1L]]
  problem <- if (all(steps < 0)) {
    if (order == "oldest-first") {
      'run newest first; pass order = "newest-first" to compute them oldest first and get the values in their order'
    } else {
      'run oldest first, but order = "newest-first" was given; drop the option'
    }
  } else if (steps[wrong[1L]] == 0) {
    paste0("repeat a time: ", rowName(input, later), " has the time of ", rowName(input, earlier),
           "; keep one row per time")
  } else {
    paste0("are not in time order: ", rowName(input, later), " comes after ", rowName(input, earlier),
           "; sort them oldest first")
  }
  stop(caller, ": the rows by ", times$what, " ", problem, ' (order = "as-given" takes the rows as they are)',
    call. = FALSE
  )
}
