# SPDX-License-Identifier: MIT
# The missing-price cases every front end of the library is tested on
# (tests/data/missing_policy_cases.txt of the repository, staged next to these
# tests by tools/stage-library.sh; TAMSELCHARTS_POLICY_CASES names another):
# "policy | highs | lows | outcome", the outcome "ok HIGHS / LOWS" or
# "KIND COLUMN BAR".
policyCasesPath <- function() {
  given <- Sys.getenv("TAMSELCHARTS_POLICY_CASES")
  if (nzchar(given)) return(given)
  test_path("missing_policy_cases.txt")
}

readPolicyCases <- function(path = policyCasesPath()) {
  if (!file.exists(path)) stop("no policy cases at ", path, "; run tools/stage-library.sh in the repository")
  lines <- trimws(readLines(path, warn = FALSE))
  lines <- lines[nzchar(lines) & !startsWith(lines, "#")]
  prices <- function(text) {
    words <- strsplit(trimws(text), "[ \t]+")[[1L]]
    # R reads "nan" (as NaN) and "inf" itself.
    values <- as.double(words)
    if (anyNA(values[!tolower(words) %in% "nan"])) stop("not prices: ", text)
    values
  }
  lapply(lines, function(line) {
    parts <- trimws(strsplit(line, "|", fixed = TRUE)[[1L]])
    if (length(parts) != 4L) stop("not a policy case: ", line)
    outcome <- strsplit(parts[4L], "[ \t]+")[[1L]]
    case <- list(line = line, policy = parts[1L], high = prices(parts[2L]), low = prices(parts[3L]))
    if (outcome[1L] == "ok") {
      taken <- strsplit(sub("^ok[ \t]+", "", parts[4L]), "/", fixed = TRUE)[[1L]]
      c(case, list(ok = TRUE, takenHigh = prices(taken[1L]), takenLow = prices(taken[2L])))
    } else {
      c(case, list(ok = FALSE, kind = outcome[1L], column = outcome[2L], bar = as.integer(outcome[3L])))
    }
  })
}

# A missing price of the file as R users write one: NA_real_ (the file's
# "nan"), so that the cases test R's own missing value.
asRMissing <- function(values) ifelse(is.nan(values), NA_real_, values)
