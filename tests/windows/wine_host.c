/* SPDX-License-Identifier: MIT */
/*
 * A Windows host for TamselCharts.dll: loads it with LoadLibrary, looks the
 * exports up with GetProcAddress and runs the golden series through them
 * (golden_check.c), or with --digests prints the corpus digests
 * (corpus_digests.c), each call made from one of the floating-point
 * environments of host_environment.h.  Built for x86-64 Windows and run
 * under Wine, where the DLL picks its spectrum kernel from the host's
 * processor and TAMSELCHARTS_SIMD.
 *
 * usage: wine_host.exe TamselCharts.dll golden.bin [agreement.txt]
 *        wine_host.exe TamselCharts.dll --digests DIRECTORY...
 */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "../../include/TamselCharts.h"
#include "corpus_digests.h"
#include "golden_check.h"
#include "host_environment.h"

typedef struct {
  FARPROC exports[TAMSEL_EXPORT_COUNT];
} Dll;

static float F(uintptr_t bits) {
  float f;
  uint32_t u = (uint32_t)bits;
  memcpy(&f, &u, 4);
  return f;
}

/* The words of golden_check.c turned into typed calls, so floats travel in
   the registers the Windows x64 convention gives them. */
static uintptr_t CallExport(void* context, int e, const uintptr_t* a, int count) {
  Dll* dll = context;
  FARPROC f = dll->exports[e];
  (void)count;
  switch (e) {
    case kCyclePeriod:
    case kSignalToNoiseRatio:
    case kSwingPosition:
    case kTrendVigor:
      return (uintptr_t)((IndicatorExport)(void*)f)((const float*)a[0], (const float*)a[1], (int)a[2], (float*)a[3]);
    case kAllIndicators:
      return (uintptr_t)((int(__cdecl*)(const float*, const float*, int, float*, float*, float*, float*))(void*)f)(
          (const float*)a[0], (const float*)a[1], (int)a[2], (float*)a[3], (float*)a[4], (float*)a[5], (float*)a[6]);
    case kStreamCreate:
      return (uintptr_t)((TamselChart_Stream * (__cdecl*)(void))(void*)f)();
    case kStreamClone:
      return (uintptr_t)((TamselChart_Stream * (__cdecl*)(const TamselChart_Stream*))(void*)f)(
          (const TamselChart_Stream*)a[0]);
    case kStreamReset:
    case kStreamDestroy:
      ((void(__cdecl*)(TamselChart_Stream*))(void*)f)((TamselChart_Stream*)a[0]);
      return 0;
    case kStreamSave:
      return (uintptr_t)((int(__cdecl*)(const TamselChart_Stream*, unsigned char*, int))(void*)f)(
          (const TamselChart_Stream*)a[0], (unsigned char*)a[1], (int)a[2]);
    case kStreamLoad:
      return (uintptr_t)((TamselChart_Stream * (__cdecl*)(const unsigned char*, int, int*))(void*)f)(
          (const unsigned char*)a[0], (int)a[1], (int*)a[2]);
    default: /* kStreamPush, kStreamPeek */
      return (uintptr_t)((int(__cdecl*)(TamselChart_Stream*, float, float, TamselChart_Values*))(void*)f)(
          (TamselChart_Stream*)a[0], F(a[1]), F(a[2]), (TamselChart_Values*)a[3]);
  }
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s TamselCharts.dll golden.bin [agreement.txt]\n", argv[0]);
    fprintf(stderr, "       %s TamselCharts.dll --digests DIRECTORY...\n", argv[0]);
    return 2;
  }
  HMODULE module = LoadLibraryA(argv[1]);
  if (module == NULL) {
    fprintf(stderr, "LoadLibrary(%s) failed: error %lu\n", argv[1], (unsigned long)GetLastError());
    return 2;
  }
  Dll dll;
  for (int e = 0; e < TAMSEL_EXPORT_COUNT; ++e) {
    dll.exports[e] = GetProcAddress(module, kTamselExportNames[e]);
    if (dll.exports[e] == NULL) {
      fprintf(stderr, "GetProcAddress(%s) failed\n", kTamselExportNames[e]);
      return 2;
    }
  }
  char loadedFrom[MAX_PATH] = "?";
  GetModuleFileNameA(module, loadedFrom, sizeof loadedFrom);
  const int digests = strcmp(argv[2], "--digests") == 0;
  /* Progress on stderr in digest mode: stdout carries only the digests. */
  fprintf(digests ? stderr : stdout, "loaded %s, %d exports found\n", loadedFrom, TAMSEL_EXPORT_COUNT);
  HostEnvironmentCalls environments;
  StartHostEnvironmentCalls(&environments, CallExport, &dll);
  int failures =
      digests ? PrintCorpusDigests(argv + 3, argc - 3, CallInHostEnvironment, &environments)
              : RunGoldenChecks(argv[2], argc > 3 ? argv[3] : NULL, "win64", CallInHostEnvironment, &environments);
  failures += ReportHostEnvironmentCalls(&environments) != 0;
  if (!FreeLibrary(module)) {
    fprintf(stderr, "FreeLibrary failed\n");
    return 2;
  }
  printf("%s: %d failures\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
