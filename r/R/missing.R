# SPDX-License-Identifier: MIT
# The missing-price option, with the words of tamsel --missing.  A missing
# price (NA or NaN) would freeze the cycle spectrum for the rest of the series,
# so by default it stops the computation; "previous" repeats the previous
# bar's price of that column, "nan" passes it on to the library, which
# documents what each indicator does after one.  An infinite price, or one
# beyond the range of the library's 32-bit floats, is no price to repeat
# either: only "nan" passes it on.
missingPolicies <- c("error", "previous", "nan")

notFinite <- function(values) !is.na(values) & abs(values) >= floatOverflow

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
  if (!anyNA(high) && !anyNA(low) && !any(notFinite(high)) && !any(notFinite(low))) return(list(high = high, low = low))
  refuse <- function(i, column, value, why) {
    stop(caller, ": bar ", firstBar + i - 1L, label(i), ": the ", column, " price is ", describePrice(value), why,
      call. = FALSE
    )
  }
  # "error" refuses the first bar with any bad price, "previous" the first
  # with an infinite one; on one bar the high is named before the low.
  refusedHigh <- notFinite(high) | (missing == "error" & is.na(high))
  refusedLow <- notFinite(low) | (missing == "error" & is.na(low))
  if (any(refusedHigh | refusedLow)) {
    i <- which(refusedHigh | refusedLow)[1L]
    column <- if (refusedHigh[i]) "high" else "low"
    value <- if (refusedHigh[i]) high[i] else low[i]
    why <- if (is.na(value)) {
      paste0(
        "; a missing price freezes the cycle spectrum for the rest of the series: ",
        'missing = "previous" repeats the previous bar\'s price, missing = "nan" passes it on'
      )
    } else {
      '; correct or drop the bar, or pass it on with missing = "nan"'
    }
    refuse(i, column, value, why)
  }
  list(
    high = carryForward(high, is.na(high), previous[1L], "high", caller, label, firstBar),
    low = carryForward(low, is.na(low), previous[2L], "low", caller, label, firstBar)
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
