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

# The way out every refusal of the rows' times ends with.
asGivenWayOut <- 'pass order = "as-given" to take the rows as they are'

# The shape of a bar time written as text: a date (2024-01-31, 2024/1/31,
# 2024.01.31, 20240131), maybe a time (T or blanks, then 9:30, 09:30:15 or
# 09:30:15.250, maybe AM or PM) and maybe a zone (Z, +01:00, -0500, +01, or a
# name of 3 to 5 capitals such as UTC or EST, so that no word is one).  The
# whole text must be of this shape: strptime() stops where its format ends,
# so it took "2024-01-31 01:00 PM" for one at night and
# "2024-01-31T10:00-05:00" for ten UTC, and rows out of order passed for rows
# in order.
timeTextPattern <- paste0(
  "^([0-9]{4})([-/.]?)([0-9]{1,2})\\2([0-9]{1,2})",
  "(?:(?:T|\\s+)([0-9]{1,2}):([0-9]{2})(?::([0-9]{2}(?:[.,][0-9]+)?))?(?:\\s*([AaPp][Mm]))?)?",
  "(?:\\s*(Z|[+-][0-9]{2}(?::?[0-9]{2})?|[A-Z]{3,5}))?$"
)

# Bar times written as text: list(seconds, zone), seconds since 1970-01-01
# UTC (NA for a text of another shape or no such date or time; 24:00 is the
# next day's midnight, as strptime() reads it) and the name of the zone each
# text gives (NA where it gives none, an offset, Z, UTC or GMT).  A named
# zone's offset is not known here, so the seconds of such a text are those
# of its clock.
readTimeText <- function(text) {
  text <- trimws(text)
  quick <- readIsoTimes(text)
  if (!is.null(quick)) return(list(seconds = quick, zone = rep(NA_character_, length(text))))
  shaped <- !is.na(text) & grepl(timeTextPattern, text, perl = TRUE)
  # The nine parts of every text from one pass of the pattern, split at a
  # character no part holds; the closing "|." keeps the empty last part.
  parts <- matrix(NA_character_, 9L, length(text))
  if (any(shaped)) {
    joined <- sub(timeTextPattern, "\\1|\\2|\\3|\\4|\\5|\\6|\\7|\\8|\\9|.", text[shaped], perl = TRUE)
    parts[, shaped] <- matrix(unlist(strsplit(joined, "|", fixed = TRUE), use.names = FALSE), 10L)[1:9, ]
  }
  part <- function(k) parts[k, ]
  year <- part(1L)
  separator <- part(2L)
  month <- part(3L)
  day <- part(4L)
  # A date without separators is 8 digits; 2024131 could be either of two.
  shaped <- shaped & (separator != "" | (nchar(month) == 2L & nchar(day) == 2L))
  date <- as.Date(sprintf("%s-%02d-%02d", year, as.integer(month), as.integer(day)), format = "%Y-%m-%d")
  hour <- as.integer(part(5L))
  minute <- as.integer(part(6L))
  second <- as.numeric(sub(",", ".", part(7L), fixed = TRUE))
  noon <- toupper(part(8L))
  zone <- part(9L)
  hour[is.na(hour)] <- 0L
  minute[is.na(minute)] <- 0L
  second[is.na(second)] <- 0
  clock <- !is.na(noon) & nzchar(noon)
  valid <- shaped & !is.na(date) & minute <= 59L & second < 61 &
    ifelse(clock, hour >= 1L & hour <= 12L, hour <= 23L | (hour == 24L & minute == 0L & second == 0))
  # 12 AM is midnight, 12 PM noon.
  hour <- ifelse(clock, hour %% 12L + ifelse(noon == "PM", 12L, 0L), hour)
  offset <- rep(0, length(text))
  # An offset is the clock's lead on UTC: 10:00-05:00 is 15:00 UTC.
  ahead <- !is.na(zone) & grepl("^[+-]", zone)
  digits <- gsub("[^0-9]", "", zone[ahead])
  offsetHours <- as.integer(substr(digits, 1L, 2L))
  offsetMinutes <- ifelse(nchar(digits) == 4L, as.integer(substr(digits, 3L, 4L)), 0L)
  valid[ahead] <- valid[ahead] & offsetHours <= 23L & offsetMinutes <= 59L
  offset[ahead] <- ifelse(startsWith(zone[ahead], "-"), -1, 1) * (offsetHours * 3600 + offsetMinutes * 60)
  named <- !is.na(zone) & nzchar(zone) & !ahead & !zone %in% c("Z", "UTC", "GMT")
  seconds <- as.numeric(date) * 86400 + hour * 3600 + minute * 60 + second - offset
  seconds[!valid] <- NA_real_
  list(seconds = seconds, zone = ifelse(valid & named, zone, NA_character_))
}

# The common ways of writing times in full (2024-01-31, 2024-01-31 09:30,
# 2024-01-31T09:30:15.250), each with the format that reads exactly it: a
# column written all in one of them is read by strptime() at once.
isoShapes <- local({
  date <- "^[0-9]{4}-[0-9]{2}-[0-9]{2}"
  seconds <- ":[0-9]{2}(?:[.][0-9]+)?$"
  list(
    c(paste0(date, "$"), "%Y-%m-%d"),
    c(paste0(date, " [0-9]{2}:[0-9]{2}$"), "%Y-%m-%d %H:%M"),
    c(paste0(date, " [0-9]{2}:[0-9]{2}", seconds), "%Y-%m-%d %H:%M:%OS"),
    c(paste0(date, "T[0-9]{2}:[0-9]{2}$"), "%Y-%m-%dT%H:%M"),
    c(paste0(date, "T[0-9]{2}:[0-9]{2}", seconds), "%Y-%m-%dT%H:%M:%OS")
  )
})

# The seconds of texts all written in one of the common ways (NA where a
# text is missing), or NULL when they are not.
readIsoTimes <- function(text) {
  given <- text[!is.na(text)]
  if (length(given) == 0L) return(NULL)
  for (shape in isoShapes) {
    if (!grepl(shape[1L], given[1L], perl = TRUE)) next
    if (!all(grepl(shape[1L], given, perl = TRUE))) return(NULL)
    return(as.numeric(as.POSIXct(strptime(text, shape[2L], tz = "UTC"))))
  }
  NULL
}

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
# time column are read together).  check is FALSE for order = "as-given":
# the times then only name rows in messages, and text that cannot be read as
# times is no error.
barTimes <- function(HL, kind, caller, check = TRUE) {
  if (kind %in% c("xts", "zoo")) {
    index <- zoo::index(HL)
    # zoo keeps a text index in the order of the text, which is the order
    # of time only for some ways of writing it (2024-01-31, not 31/01/2024).
    if (is.character(index) || is.factor(index)) {
      return(c(textTimes(list(as.character(index)), "the index", caller, check), sorted = FALSE))
    }
    # zoo sorts an integer64 index by its bytes, which is not the order of
    # its numbers without bit64.
    if (inherits(index, "integer64")) return(c(numericTimes(index), what = "the index", sorted = FALSE))
    return(list(keys = index, labels = format(index), what = "the index", sorted = TRUE))
  }
  if (!kind %in% c("data.frame", "matrix") || is.null(colnames(HL))) return(NULL)
  columns <- lapply(seq_len(ncol(HL)), function(j) HL[, j, drop = TRUE])
  classed <- which(vapply(columns, function(column) inherits(column, c("Date", "POSIXt")), NA))
  named <- which(Reduce(`|`, lapply(timeColumnNames, function(name) columnNameMatches(colnames(HL), name))))
  # Of several columns of times, the one named as the bars' times; their
  # text read together was ordered by the first column alone, whichever
  # held the bars' times.
  if (length(classed) > 1L && length(intersect(classed, named)) == 1L) classed <- intersect(classed, named)
  if (length(classed) > 1L) {
    if (!check) return(NULL)
    stop(caller, ": several columns hold times: ", columnList(HL, classed),
      "; keep the bars' times in one of them (or name it Date, Datetime, Time or Timestamp), ",
      "or ", asGivenWayOut,
      call. = FALSE
    )
  }
  chosen <- if (length(classed) > 0L) classed else named
  if (length(chosen) == 0L) return(NULL)
  what <- paste0(if (length(chosen) == 1L) "the column " else "the columns ", paste(colnames(HL)[chosen], collapse = " and "))
  if (length(chosen) == 1L && (is.numeric(columns[[chosen]]) || inherits(columns[[chosen]], c("Date", "POSIXt")))) {
    return(c(numericTimes(columns[[chosen]]), what = what, sorted = FALSE))
  }
  c(textTimes(columns[chosen], what, caller, check), sorted = FALSE)
}

# The times written in one or more columns (a date and a time column read
# together): a row with a missing or blank part has no time; any other text
# must read as a bar time, and a zone given by name must be the same on
# every row, as only then the clock times order the bars.
textTimes <- function(columns, what, caller, check = TRUE) {
  parts <- lapply(columns, function(column) {
    text <- if (is.character(column) || is.factor(column)) trimws(as.character(column)) else format(column)
    # format() writes a missing value as "NA".
    text[is.na(column) | !nzchar(text)] <- NA_character_
    text
  })
  text <- do.call(paste, parts)
  text[Reduce(`|`, lapply(parts, is.na))] <- NA_character_
  if (!check) return(list(keys = NULL, labels = text, what = what))
  read <- readTimeText(text)
  unread <- which(!is.na(text) & is.na(read$seconds))
  if (length(unread) > 0L) {
    stop(caller, ": ", what, " cannot be read as bar times (such as 2024-01-31 or 2024-01-31 09:30), ",
      "so the order of the rows cannot be checked: row ", unread[1L], " is \"", text[unread[1L]], "\"; ",
      "convert it with as.Date() or as.POSIXct(), ",
      "or ", asGivenWayOut,
      call. = FALSE
    )
  }
  zones <- unique(read$zone[!is.na(text)])
  if (length(zones) > 1L && any(!is.na(zones))) {
    named <- paste(zones[!is.na(zones)], collapse = ", ")
    stop(caller, ": ", what, if (anyNA(zones)) paste0(" names the zone of some times (", named, ") and not of others") else
      paste0(" gives times in several zones (", named, ")"), ", and a zone's name does not tell its offset, ",
      "so the order of the rows cannot be checked; convert it with as.POSIXct() to one time zone, ",
      "or ", asGivenWayOut,
      call. = FALSE
    )
  }
  list(keys = read$seconds, labels = text, what = what)
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
      "; drop the row, or ", asGivenWayOut,
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
        "or ", asGivenWayOut,
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
