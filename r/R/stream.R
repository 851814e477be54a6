# SPDX-License-Identifier: MIT
# A stream: the four indicators one bar at a time, for live data.

#' Indicators of live bars, one bar at a time
#'
#' A stream keeps the state of the indicators between bars. Pushing a series
#' bar by bar gives at every bar exactly the values [tamselIndicators()] gives
#' for that part of the series; `peek()` gives the values of a bar that is
#' still forming without committing it.
#'
#' The stream is an environment holding these functions and one field:
#' \describe{
#'   \item{`push(high, low)`}{Commits closed bars, oldest first, and returns
#'     their values: a named numeric vector for one bar, a matrix with one row
#'     per bar for several.}
#'   \item{`peek(high, low)`}{The values one more bar would get if it were
#'     pushed now, as a named numeric vector; nothing is committed, and a later
#'     push of the same bar gives the same values.}
#'   \item{`clone()`}{An independent stream that continues exactly as this one.}
#'   \item{`reset()`}{Back to bar 1, as a new stream.}
#'   \item{`save()`}{The stream's snapshot: a raw vector of the library's
#'     bytes (11,372 of them), the same on every platform, which
#'     [tamselStreamLoad()] turns back into a stream that continues exactly as
#'     this one, its missing-price policy and last prices included. Write it
#'     with `writeBin()`, keep it in a database, send it to another machine.}
#'   \item{`close()`}{Frees the stream's memory now; it is freed by R's
#'     finaliser when the stream is garbage collected anyway.}
#'   \item{`bars`}{The number of bars pushed so far.}
#' }
#' A stream's state is C memory of about 12 KiB. It travels with the stream
#' when R serialises it: a stream written with `saveRDS()`, `save()` or
#' `serialize()` (or sent to a parallel worker) and read back continues
#' exactly where it was when written, as an independent stream. Only
#' serialisation version 3, R's default, can carry it; a stream read back from
#' `saveRDS(version = 2)` has lost its state and says so when used. The
#' snapshot of `save()` is the lasting form: it is documented, checked when
#' loaded and read by every later version of the library.
#'
#' @param missing What a bar with a missing price does, as in
#'   [tamselIndicators()]: `"error"` refuses it and commits nothing,
#'   `"previous"` repeats the price of the last bar pushed (there is none for
#'   the first bar), `"nan"` passes it on. Infinite prices are refused unless
#'   `missing = "nan"`.
#' @param warmup As in [tamselIndicators()], counted from the stream's first
#'   bar.
#' @return A stream, an environment of class `tamselStream`.
#' @examples
#' stream <- tamselStream(warmup = "nan")
#' path <- system.file("extdata", "sample-daily.csv", package = "tamselcharts")
#' bars <- read.csv(path)
#' history <- stream$push(bars$High[1:199], bars$Low[1:199])
#' stream$peek(bars$High[200], bars$Low[200]) # the forming bar
#' stream$push(bars$High[200], bars$Low[200]) # the bar has closed
#' stream$bars
#' snapshot <- stream$save()
#' resumed <- tamselStreamLoad(snapshot, warmup = "nan")
#' identical(resumed$push(bars$High[201], bars$Low[201]), stream$push(bars$High[201], bars$Low[201]))
#' @export
tamselStream <- function(missing = "error", warmup = "values") {
  policy <- policyNumber(missing)
  warmup <- checkWarmup(warmup)
  newStream(.Call(C_tamsel_r_stream_create, policy), 0L, warmup)
}

# The stream's missing-price policy and the prices it last took (for
# "previous") live in the library's stream; state$bars counts its bars.
# pointer is the library stream's handle: serialised, it writes the stream's
# snapshot and reads back as a new stream.
newStream <- function(pointer, bars, warmup) {
  state <- new.env(parent = emptyenv())
  state$pointer <- pointer
  state$bars <- bars
  # Only state$pointer is kept, so that serialising the stream writes one
  # snapshot and restores one stream.
  rm(pointer)

  prices <- function(high, low, caller) {
    high <- asPrices(high, "high", caller)
    low <- asPrices(low, "low", caller)
    if (length(high) != length(low)) {
      stop(caller, ": high and low must have equal lengths, got ", length(high), " and ", length(low),
        call. = FALSE
      )
    }
    list(high = high, low = low)
  }
  # The values of bars firstBar, firstBar + 1, ..., or the refused price
  # raised as an error naming its bar.
  values <- function(result, bar, caller) {
    if (isPriceProblem(result)) {
      given <- if (result$column == 0L) bar$high else bar$low
      refusePrice(result, caller, function(number) paste("bar", number), given[result$bar - state$bars])
    }
    colnames(result) <- indicatorColumns()
    applyWarmup(result, warmup, state$bars + 1L)
  }

  self <- new.env(parent = emptyenv())
  self$push <- function(high, low) {
    bar <- prices(high, low, "push")
    if (length(bar$high) == 0L) stop("push: no bar given", call. = FALSE)
    result <- values(.Call(C_tamsel_r_stream_push, state$pointer, bar$high, bar$low), bar, "push")
    state$bars <- state$bars + length(bar$high)
    if (length(bar$high) == 1L) result[1L, ] else result
  }
  self$peek <- function(high, low) {
    bar <- prices(high, low, "peek")
    if (length(bar$high) != 1L) stop("peek: takes one bar, a high and a low price", call. = FALSE)
    values(.Call(C_tamsel_r_stream_peek, state$pointer, bar$high, bar$low), bar, "peek")[1L, ]
  }
  self$clone <- function() {
    newStream(.Call(C_tamsel_r_stream_clone, state$pointer), state$bars, warmup)
  }
  self$save <- function() .Call(C_tamsel_r_stream_save, state$pointer)
  self$reset <- function() {
    .Call(C_tamsel_r_stream_reset, state$pointer)
    state$bars <- 0L
    invisible(self)
  }
  self$close <- function() {
    .Call(C_tamsel_r_stream_close, state$pointer)
    invisible(NULL)
  }
  makeActiveBinding("bars", function() state$bars, self)
  lockEnvironment(self, bindings = TRUE)
  class(self) <- "tamselStream"
  self
}

#' @export
print.tamselStream <- function(x, ...) {
  cat("<tamselStream: ", x$bars, if (x$bars == 1L) " bar" else " bars", ">\n", sep = "")
  invisible(x)
}

# Streams alive in this session, for the tests of the finaliser.
liveStreams <- function() .Call(C_tamsel_r_live_streams)
