# SPDX-License-Identifier: MIT
# A stream from the snapshot its save() gave, with the library's reason when
# the bytes are none it can take.

#' A stream continued from its snapshot
#'
#' Turns the bytes of a stream's `save()` back into a stream that continues
#' exactly as the saved one would have: the same bits on every later bar, its
#' bar count, missing-price policy and last prices (for `missing =
#' "previous"`) included. The snapshot may come from any platform and any
#' program built on the TamselCharts library; later versions of the library
#' read it too.
#'
#' @param snapshot A raw vector: `stream$save()`, or the bytes of a file
#'   written from it, read with `readBin(path, "raw", file.size(path))`.
#' @param warmup As in [tamselStream()]. It is an option of the R stream, not
#'   part of the snapshot, and counts from the saved stream's first bar.
#' @return A stream, as [tamselStream()] makes.
#' @section Refused snapshots: Bytes that are no snapshot the library can take
#'   (cut short, changed, not a snapshot at all, of a later format, or of a
#'   state no stream can be in) raise an error of class `tamselSnapshotError`
#'   whose message is the library's reason and whose field `reason` is the
#'   library's number for it.
#' @examples
#' stream <- tamselStream(missing = "previous")
#' stream$push(c(10, 11, 12), c(9, 10, 11))
#' path <- tempfile(fileext = ".snapshot")
#' writeBin(stream$save(), path)
#' resumed <- tamselStreamLoad(readBin(path, "raw", file.size(path)))
#' resumed$bars
#' identical(resumed$push(NA, 12), stream$push(NA, 12))
#' unlink(path)
#' @export
tamselStreamLoad <- function(snapshot, warmup = "values") {
  if (!is.raw(snapshot)) {
    hint <- if (is.character(snapshot)) "; read a file's bytes with readBin(path, \"raw\", file.size(path))" else ""
    stop("tamselStreamLoad: snapshot must be a raw vector, as stream$save() returns, not ",
      class(snapshot)[1L], hint,
      call. = FALSE
    )
  }
  warmup <- checkWarmup(warmup)
  loaded <- .Call(C_tamsel_r_stream_load, snapshot)
  if (is.null(loaded$handle)) refuseSnapshot(loaded, "tamselStreamLoad", snapshot)
  newStream(loaded$handle, loaded$bars, warmup)
}

# Raises the library's refusal of a snapshot (its reason number and
# sentence) as an error of class tamselSnapshotError.
refuseSnapshot <- function(refused, caller, snapshot) {
  stop(structure(
    class = c("tamselSnapshotError", "error", "condition"),
    list(
      message = paste0(caller, ": ", refused$text, " (", length(snapshot), " bytes given)"),
      call = NULL, reason = refused$reason
    )
  ))
}
