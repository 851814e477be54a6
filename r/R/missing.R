# The missing-price option.  A price the library cannot use as a measurement
# (NA, NaN, an infinity, or a number beyond the range of a 32-bit float) would
# freeze the cycle spectrum for the rest of the series, so by default it stops
# the computation; "previous" repeats the previous bar's price, "nan" passes
# it on to the library, which documents what each indicator does after one.
missingPolicies <- c("error", "previous", "nan")

notAPrice <- function(values) is.na(values) | abs(values) >= floatOverflow

describePrice <- function(value) {
  if (is.nan(value)) return("NaN")
  if (is.na(value)) return("NA")
  if (is.infinite(value)) return(if (value > 0) "Inf" else "-Inf")
  paste0(format(value, digits = 7L), ", beyond the range of a 32-bit float")
}

# high and low with the policy applied.  firstBar numbers the bars in
# messages; previous holds the high and low of the bar before the first (a
# stream's last bar), or NA when there is none; label(i) names bar i.
applyMissing <- function(high, low, missing, caller, label = function(i) "", firstBar = 1L,
                         previous = c(NA_real_, NA_real_)) {
  if (missing == "nan") return(list(high = high, low = low))
  badHigh <- notAPrice(high)
  badLow <- notAPrice(low)
  if (!any(badHigh) && !any(badLow)) return(list(high = high, low = low))
  if (missing == "error") {
    i <- which(badHigh | badLow)[1L]
    column <- if (badHigh[i]) "high" else "low"
    value <- if (badHigh[i]) high[i] else low[i]
    stop(caller, ": bar ", firstBar + i - 1L, label(i), ": the ", column, " price is ", describePrice(value),
      "; a price that is not a number freezes the cycle spectrum for the rest of the series: ",
      'missing = "previous" repeats the previous bar\'s price, missing = "nan" passes it on',
      call. = FALSE
    )
  }
  list(
    high = carryForward(high, badHigh, previous[1L], "high", caller, label, firstBar),
    low = carryForward(low, badLow, previous[2L], "low", caller, label, firstBar)
  )
}

# Each bad price replaced by the last good one before it.  A series that
# starts with a bad price has nothing to repeat; tamsel refuses it too.
carryForward <- function(values, bad, previous, column, caller, label, firstBar) {
  if (!any(bad)) return(values)
  good <- which(!bad)
  last <- findInterval(which(bad), good)
  if (last[1L] == 0L) {
    if (is.na(previous)) {
      i <- which(bad)[1L]
      stop(caller, ": bar ", firstBar + i - 1L, label(i), ": the ", column, " price is ", describePrice(values[i]),
        ' and there is no earlier price for missing = "previous" to repeat; drop the leading bars without ',
        'prices (e.g. with zoo::na.trim()) or pass them on with missing = "nan"',
        call. = FALSE
      )
    }
    values[which(bad)[last == 0L]] <- previous
  }
  values[which(bad)[last > 0L]] <- values[good[last[last > 0L]]]
  values
}
