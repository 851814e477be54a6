/* SPDX-License-Identifier: MIT */
/*
 * The corpus digests through a loaded TamselCharts DLL: every file in the
 * given directories is decoded as a library fuzz input (fuzz/fuzz_series.h),
 * run through the DLL's four batch exports and through a stream that is
 * saved, loaded and resumed (fuzz/snapshot_digest.h), and printed as one
 * line in the format of the fuzz corpus replay (fuzz/replay_main.cpp with
 * TAMSEL_FUZZ_PRINT_DIGEST set):
 *     <file name>: digest <16 hex> snapshot <16 hex> ok
 * so that the lines of a DLL and of every native build compare directly:
 * the outputs and the snapshot bytes alike.
 * Shared by the 32-bit PE loader and the 64-bit Windows host.
 */
#ifndef TAMSEL_CORPUS_DIGESTS_H
#define TAMSEL_CORPUS_DIGESTS_H

#include "golden_check.h"

/* Returns the number of failures (an unreadable directory or file, a call
   that did not return the bar count or wrote past the last bar, a snapshot
   that did not resume as the stream it was saved from). */
int PrintCorpusDigests(char* const* directories, int directoryCount, DllCall call, void* context);

#endif
