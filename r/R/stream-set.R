# SPDX-License-Identifier: MIT
# A stream set: many live series pushed together, one bar of each at a time.

#' Indicators of many live series, one interval at a time
#'
#' A stream set holds a stream for each of a fixed number of series (its
#' members, numbered from 1), pushed together: one bar for each member every
#' interval, the library computing the members side by side. At every bar
#' each member gives exactly the values a [tamselStream()] of its own gives,
#' pushed with the same bars.
#'
#' The set is an environment holding these functions and two fields:
#' \describe{
#'   \item{`push(high, low, hasBar = NULL)`}{Commits one interval's closed
#'     bars: `high[i]` and `low[i]` are member `i`'s. `hasBar`, when given,
#'     is `TRUE` or `FALSE` for each member: a member without a bar this
#'     interval does not advance and its prices are not looked at. Returns a
#'     matrix with one row per member and a column per indicator: each
#'     member's latest values (`NaN` before its first bar). All or nothing:
#'     when a member's missing-price policy refuses its price, the error
#'     names the member and no member advances.}
#'   \item{`save(member)`}{The member's snapshot, the bytes `stream$save()`
#'     gives for a stream in its state: [tamselStreamLoad()] takes it, and so
#'     does `load()`.}
#'   \item{`load(member, snapshot)`}{Replaces the member with the stream of a
#'     snapshot (a stream's or a member's), its missing-price policy
#'     included. Bytes the library cannot take raise a `tamselSnapshotError`
#'     and leave the member as it was.}
#'   \item{`missing(member)`}{The member's missing-price policy.}
#'   \item{`close()`}{Frees the set's memory now; it is freed by R's
#'     finaliser when the set is garbage collected anyway.}
#'   \item{`bars`}{Each member's number of bars so far.}
#'   \item{`members`}{The number of members.}
#' }
#' A set's state is C memory of about 12 KiB a member (up to twice that).
#' Unlike a stream's, it does not travel when R serialises the set: a set
#' read back from `saveRDS()` says so when used. Keep its members with
#' `save(i)`, and load them into a new set with `load(i, snapshot)`.
#'
#' @param members The number of members, at least 1.
#' @param missing Every member's missing-price policy, as for
#'   [tamselStream()].
#' @param warmup As in [tamselIndicators()], counted from each member's first
#'   bar.
#' @return A stream set, an environment of class `tamselStreamSet`.
#' @examples
#' path <- system.file("extdata", "sample-daily.csv", package = "tamselcharts")
#' bars <- read.csv(path)
#' set <- tamselStreamSet(3, missing = "previous")
#' for (i in 1:100) latest <- set$push(bars$High[i + 0:2], bars$Low[i + 0:2])
#' latest
#' set$push(bars$High[101:103], bars$Low[101:103], hasBar = c(TRUE, FALSE, TRUE))
#' set$bars
#' resumed <- tamselStreamLoad(set$save(1))
#' @export
tamselStreamSet <- function(members, missing = "error", warmup = "values") {
  if (!is.numeric(members) || length(members) != 1L || is.na(members) || members < 1 ||
    members != trunc(members) || members > .Machine$integer.max) {
    stop("tamselStreamSet: members must be a whole number of at least 1, not ", deparse1(members, nlines = 1L),
      call. = FALSE
    )
  }
  count <- as.integer(members)
  policy <- policyNumber(missing)
  warmup <- checkWarmup(warmup)
  state <- new.env(parent = emptyenv())
  state$pointer <- .Call(C_tamsel_r_set_create, count, policy)
  state$bars <- integer(count)

  # A member number from the caller, 1-based, as the C side's 0-based one.
  memberIndex <- function(member, caller) {
    if (!is.numeric(member) || length(member) != 1L || is.na(member) || member != trunc(member) ||
      member < 1 || member > count) {
      stop(caller, ": member must be a whole number from 1 to ", count, ", not ", deparse1(member, nlines = 1L),
        call. = FALSE
      )
    }
    as.integer(member) - 1L
  }

  self <- new.env(parent = emptyenv())
  self$push <- function(high, low, hasBar = NULL) {
    high <- asPrices(high, "high", "push")
    low <- asPrices(low, "low", "push")
    if (length(high) != count || length(low) != count) {
      stop("push: high and low must hold one price per member (", count, "), got ", length(high), " and ",
        length(low),
        call. = FALSE
      )
    }
    if (!is.null(hasBar) && (!is.logical(hasBar) || length(hasBar) != count || anyNA(hasBar))) {
      stop("push: hasBar must be TRUE or FALSE for each of the ", count, " members", call. = FALSE)
    }
    result <- .Call(C_tamsel_r_set_push, state$pointer, high, low, if (is.null(hasBar)) NULL else as.vector(hasBar))
    if (isPriceProblem(result)) {
      member <- result$member + 1L
      given <- if (result$column == 0L) high else low
      refusePrice(result, "push", function(number) paste("bar", number, "of member", member), given[member])
    }
    state$bars <- state$bars + if (is.null(hasBar)) 1L else as.integer(hasBar)
    colnames(result) <- indicatorColumns()
    applyWarmup(result, warmup, bars = state$bars)
  }
  self$save <- function(member) .Call(C_tamsel_r_set_save, state$pointer, memberIndex(member, "save"))
  self$load <- function(member, snapshot) {
    index <- memberIndex(member, "load")
    if (!is.raw(snapshot)) {
      stop("load: snapshot must be a raw vector, as save() returns, not ", class(snapshot)[1L], call. = FALSE)
    }
    loaded <- .Call(C_tamsel_r_set_load, state$pointer, index, snapshot)
    if (is.null(loaded$bars)) refuseSnapshot(loaded, "load", snapshot)
    state$bars[index + 1L] <- loaded$bars
    invisible(self)
  }
  self$missing <- function(member) {
    missingPolicies()[.Call(C_tamsel_r_set_member_policy, state$pointer, memberIndex(member, "missing")) + 1L]
  }
  self$close <- function() {
    .Call(C_tamsel_r_set_close, state$pointer)
    invisible(NULL)
  }
  makeActiveBinding("bars", function() state$bars, self)
  makeActiveBinding("members", function() count, self)
  lockEnvironment(self, bindings = TRUE)
  class(self) <- "tamselStreamSet"
  self
}

#' @export
print.tamselStreamSet <- function(x, ...) {
  cat("<tamselStreamSet: ", x$members, if (x$members == 1L) " member" else " members", ">\n", sep = "")
  invisible(x)
}
