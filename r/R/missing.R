# SPDX-License-Identifier: MIT
# The missing-price option, with the words of tamsel --missing.  The policy
# itself lives in the library, so that every front end refuses and fills
# alike: R's NA and NaN reach it as NaN, and a price it refuses comes back as
# a problem that is raised here as an R error in this package's terms.

# The policy's number for the library, after checking the word.
policyNumber <- function(missing) {
  missing <- match.arg(missing, missingPolicies())
  match(missing, missingPolicies()) - 1L
}

# The library's problem kinds, in the order of their numbers (1 first), as
# the condition's `kind` field names them.
priceProblemKinds <- c("missing", "infinite", "out-of-range", "no-previous", "bad-policy")

isPriceProblem <- function(result) is.list(result) && !is.null(result$kind)

describePrice <- function(value) {
  if (is.nan(value)) return("NaN")
  if (is.na(value)) return("NA")
  if (is.infinite(value)) return(if (value > 0) "Inf" else "-Inf")
  format(value, digits = 7L)
}

# Raises the problem the library reported as an error of class
# tamselMissingPrice (a missing price) or tamselBadPrice (an infinite or
# out-of-range one), both also tamselPriceProblem.  where(bar) names the bar
# in the caller's terms ("row 30 (2024-01-30)", "bar 5"); value is the price
# as the caller gave it, so that NA and NaN are told apart.
refusePrice <- function(problem, caller, where, value) {
  kind <- priceProblemKinds[problem$kind]
  column <- if (problem$column == 0L) "high" else "low"
  wayOut <- switch(kind,
    missing = paste0(
      "a missing price freezes the cycle spectrum for the rest of the series: ",
      'missing = "previous" repeats the previous bar\'s price, missing = "nan" passes it on'
    ),
    "no-previous" = paste0(
      'missing = "previous" has no earlier price to repeat; drop the leading bars without prices ',
      '(e.g. with zoo::na.trim()) or pass them on with missing = "nan"'
    ),
    'correct or drop the bar, or pass it on with missing = "nan"'
  )
  message <- paste0(
    caller, ": ", problem$text, ": the ", column, " price of ", where(problem$bar), " is ", describePrice(value),
    "; ", wayOut
  )
  class <- if (kind %in% c("missing", "no-previous")) "tamselMissingPrice" else "tamselBadPrice"
  stop(structure(
    class = c(class, "tamselPriceProblem", "error", "condition"),
    list(message = message, call = NULL, kind = kind, column = column, bar = problem$bar, price = value)
  ))
}
