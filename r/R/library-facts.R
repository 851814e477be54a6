# SPDX-License-Identifier: MIT
# What the compiled library says about itself, asked once per session: the
# indicator table (names, titles, start-up bars, ranges), the words of the
# missing-price policies and the versions.  The R code takes these from here
# so that it never keeps a copy of its own that could drift.
libraryFacts <- local({
  cache <- NULL
  function() {
    if (is.null(cache)) {
      cache <<- list(
        indicators = .Call(C_tamsel_r_indicator_table),
        policies = .Call(C_tamsel_r_missing_policies),
        versions = .Call(C_tamsel_r_versions)
      )
    }
    cache
  }
})

# The indicators' column names, in the library's order.
indicatorColumns <- function() libraryFacts()$indicators$column

# The indicators' titles, for chart legends, named by column.
indicatorTitles <- function() stats::setNames(libraryFacts()$indicators$title, indicatorColumns())

# The words of the missing-price policies, in the order of their numbers.
missingPolicies <- function() libraryFacts()$policies

# Which of the names name the wanted column ("high", "low", "date", ...), by
# the library's column-name rule that every front end shares.
columnNameMatches <- function(names, wanted) {
  if (is.null(names)) return(logical(0))
  .Call(C_tamsel_r_column_matches, enc2utf8(as.character(names)), wanted)
}
