# SPDX-License-Identifier: MIT
# The start-up bars and the warm-up option.  The indicators' names and
# start-up bars are the library's indicator table (library-facts.R).

#' Start-up bars of each indicator
#'
#' The number of bars at the start of a series on which an indicator's value
#' still reflects the zeroed state before bar 1 rather than the prices, as the
#' library's indicator table gives them (so they are the same in every front
#' end of the library). `warmup = "nan"` replaces exactly
#' these bars with `NaN`.
#'
#' | indicator | bars | why |
#' |---|---|---|
#' | `cycle_period` | 14 | 0 on bars 1 and 2, exactly 18 on bars 3 to 14: the filter bank first runs on bar 13 and the period is the median of five bars |
#' | `signal_to_noise` | 12 | 1.0 on bars 1 to 12: there is no cycle amplitude before the filter bank runs |
#' | `swing_position` | 50 | the 51-bar window of the swing still holds start values of 0 up to bar 50 |
#' | `trend_vigor` | 29 | the price change over one cycle reaches back before bar 1, where the price counts as 0: always on bars 1 to 14, and through bar 29 whenever the measured cycle (at most 30 bars) is longer than the bars so far |
#'
#' The swing position's tuned filter also rings from the first bars' price
#' level for longer (its full -5 to +5 span returns after about 150 bars);
#' `warmup = N` hides the first `N` bars of every indicator.
#'
#' @return A named integer vector: the start-up bars of each indicator.
#' @examples
#' tamselWarmup()
#' @export
tamselWarmup <- function() {
  stats::setNames(libraryFacts()$indicators$warmup, indicatorColumns())
}

# The warm-up option: "values" keeps every value, "nan" blanks each
# indicator's start-up bars, a whole number N blanks the first N bars.
checkWarmup <- function(warmup) {
  if (is.character(warmup) && length(warmup) == 1L && warmup %in% c("values", "nan")) return(warmup)
  if (is.numeric(warmup) && length(warmup) == 1L && !is.na(warmup) && is.finite(warmup) && warmup >= 0 &&
    warmup == trunc(warmup)) {
    return(warmup)
  }
  stop('warmup must be "values", "nan" or a whole number of bars (0 or more), not ',
    deparse1(warmup, nlines = 1L),
    call. = FALSE
  )
}

# Blanks the start-up bars of a matrix of indicator values whose rows are the
# bars firstBar, firstBar + 1, ... (or the bars given, one per row) and whose
# columns are named after the indicators.
applyWarmup <- function(values, warmup, firstBar = 1L, bars = firstBar + seq_len(nrow(values)) - 1L) {
  if (identical(warmup, "values") || nrow(values) == 0L) return(values)
  if (identical(warmup, "nan")) {
    startUp <- tamselWarmup()
    for (column in colnames(values)) values[bars <= startUp[[column]], column] <- NaN
  } else {
    values[bars <= warmup, ] <- NaN
  }
  values
}
