/* SPDX-License-Identifier: MIT */
/*
 * Runs the golden series through a loaded TamselCharts DLL and compares the
 * outputs with the golden (native build) ones.  Shared by the 32-bit PE
 * loader (Linux, under QEMU) and the 64-bit Windows host (under Wine); each
 * supplies the calls into the DLL, since one calls through a hand-made cdecl
 * frame and the other calls directly.
 */
#ifndef TAMSEL_GOLDEN_CHECK_H
#define TAMSEL_GOLDEN_CHECK_H

#include <stdint.h>

#define TAMSEL_EXPORT_COUNT 13
/* The DLL's exports, in the order the callers' tables use. */
extern const char* const kTamselExportNames[TAMSEL_EXPORT_COUNT];
enum {
  kCyclePeriod,
  kSignalToNoiseRatio,
  kSwingPosition,
  kTrendVigor,
  kAllIndicators,
  kStreamCreate,
  kStreamClone,
  kStreamReset,
  kStreamDestroy,
  kStreamPush,
  kStreamPeek,
  kStreamSave,
  kStreamLoad
};

/* A call into the DLL: the export's index, its arguments as machine words
   (floats passed by their bits), and the returned word. */
typedef uintptr_t (*DllCall)(void* context, int exportIndex, const uintptr_t* args, int argCount);

/* Runs every check; prints the agreement table and the failures.  The
   minimum bit-identical counts for the four batch exports are read from
   agreementFile under the given flavour (win32 / win64); a NULL file skips
   that floor.  Returns the number of failures. */
int RunGoldenChecks(const char* goldenPath, const char* agreementFile, const char* flavour, DllCall call,
                    void* context);

#endif
