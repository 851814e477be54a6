/* SPDX-License-Identifier: MIT */
/*
 * A Windows host that loads and unloads TamselCharts.dll as a charting
 * program does whenever a user edits a study: LoadLibrary, one call of
 * TamselChart_TrendVigor and one stream created, pushed and destroyed, then
 * FreeLibrary, many times over.  The DLL must give back everything it took:
 * after a warm-up the process's working set may not grow by more than
 * 100 KiB however many cycles follow.  The host also checks that the DLL's
 * version resource, TamselChart_Version() and the header agree.  Built for
 * x86-64 Windows and run under Wine.
 *
 * usage: unload_host.exe TamselCharts.dll [cycles]   (default 2000 cycles)
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <windows.h>
/* After windows.h, which it needs. */
#include <psapi.h>

#include "../../include/TamselCharts.h"

enum { kBars = 64, kWarmUpCycles = 100, kAllowedGrowth = 100 * 1024 };

typedef const char*(__cdecl* VersionFunction)(void);
typedef TamselChart_Stream*(__cdecl* StreamCreateFunction)(void);
typedef int(__cdecl* StreamPushFunction)(TamselChart_Stream*, float, float, TamselChart_Values*);
typedef void(__cdecl* StreamDestroyFunction)(TamselChart_Stream*);

static float high[kBars], low[kBars], out[kBars];

static FARPROC Export(HMODULE module, const char* name) {
  FARPROC f = GetProcAddress(module, name);
  if (f == NULL) {
    fprintf(stderr, "GetProcAddress(%s) failed\n", name);
    exit(2);
  }
  return f;
}

/* One load, call and unload; 0 when every call answered as it should. */
static int Cycle(const char* path) {
  HMODULE module = LoadLibraryA(path);
  if (module == NULL) {
    fprintf(stderr, "LoadLibrary(%s) failed: error %lu\n", path, (unsigned long)GetLastError());
    exit(2);
  }
  int failed = ((IndicatorExport)(void*)Export(module, "TamselChart_TrendVigor"))(high, low, kBars, out) != kBars;
  TamselChart_Stream* stream = ((StreamCreateFunction)(void*)Export(module, "TamselChart_StreamCreate"))();
  TamselChart_Values values;
  failed |= stream == NULL || ((StreamPushFunction)(void*)Export(module, "TamselChart_StreamPush"))(
                                  stream, high[0], low[0], &values) != 1;
  ((StreamDestroyFunction)(void*)Export(module, "TamselChart_StreamDestroy"))(stream);
  if (!FreeLibrary(module)) {
    fprintf(stderr, "FreeLibrary failed: error %lu\n", (unsigned long)GetLastError());
    exit(2);
  }
  return failed;
}

static PROCESS_MEMORY_COUNTERS_EX Memory(void) {
  PROCESS_MEMORY_COUNTERS_EX counters;
  memset(&counters, 0, sizeof counters);
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), (PROCESS_MEMORY_COUNTERS*)&counters, sizeof counters)) {
    fprintf(stderr, "GetProcessMemoryInfo failed: error %lu\n", (unsigned long)GetLastError());
    exit(2);
  }
  return counters;
}

/* The file version of the DLL's version resource as "major.minor.patch". */
static int ResourceVersion(const char* path, char* text, size_t size) {
  DWORD handle = 0;
  const DWORD length = GetFileVersionInfoSizeA(path, &handle);
  if (length == 0) return 0;
  void* data = malloc(length);
  VS_FIXEDFILEINFO* fixed = NULL;
  UINT fixedLength = 0;
  int found = data != NULL && GetFileVersionInfoA(path, 0, length, data) &&
              VerQueryValueA(data, "\\", (void**)&fixed, &fixedLength) && fixedLength >= sizeof *fixed;
  if (found)
    snprintf(text, size, "%lu.%lu.%lu", (unsigned long)HIWORD(fixed->dwFileVersionMS),
             (unsigned long)LOWORD(fixed->dwFileVersionMS), (unsigned long)HIWORD(fixed->dwFileVersionLS));
  free(data);
  return found;
}

int main(int argc, char** argv) {
  if (argc < 2) {
    fprintf(stderr, "usage: %s TamselCharts.dll [cycles]\n", argv[0]);
    return 2;
  }
  const char* path = argv[1];
  const long cycles = argc > 2 ? strtol(argv[2], NULL, 10) : 2000;
  int failures = 0;

  char header[32], resource[32] = "none";
  snprintf(header, sizeof header, "%d.%d.%d", TAMSELCHARTS_VERSION_MAJOR, TAMSELCHARTS_VERSION_MINOR,
           TAMSELCHARTS_VERSION_PATCH);
  HMODULE module = LoadLibraryA(path);
  if (module == NULL) {
    fprintf(stderr, "LoadLibrary(%s) failed: error %lu\n", path, (unsigned long)GetLastError());
    return 2;
  }
  const char* reported = ((VersionFunction)(void*)Export(module, "TamselChart_Version"))();
  printf("version: header %s, TamselChart_Version() %s", header, reported);
  failures += strcmp(reported, header) != 0;
  FreeLibrary(module);
  failures += !ResourceVersion(path, resource, sizeof resource) || strcmp(resource, header) != 0;
  printf(", version resource %s\n", resource);

  for (int i = 0; i < kBars; ++i) {
    high[i] = 101.0f + (float)(i % 7);
    low[i] = 99.0f + (float)(i % 5);
  }
  for (int i = 0; i < kWarmUpCycles; ++i) failures += Cycle(path);
  const PROCESS_MEMORY_COUNTERS_EX before = Memory();
  for (long i = 0; i < cycles; ++i) failures += Cycle(path);
  const PROCESS_MEMORY_COUNTERS_EX after = Memory();

  const long long growth = (long long)after.WorkingSetSize - (long long)before.WorkingSetSize;
  const long long privateGrowth = (long long)after.PrivateUsage - (long long)before.PrivateUsage;
  printf(
      "%ld load/call/free cycles after %d to warm up: working set %.1f KiB -> %.1f KiB (%+lld bytes, %+.1f per "
      "cycle), private bytes %+lld\n",
      cycles, kWarmUpCycles, before.WorkingSetSize / 1024.0, after.WorkingSetSize / 1024.0, growth,
      cycles > 0 ? (double)growth / (double)cycles : 0.0, privateGrowth);
  if (growth > kAllowedGrowth) {
    printf("FAIL: the working set grew by more than %d KiB: the DLL keeps memory after it is unloaded\n",
           kAllowedGrowth / 1024);
    ++failures;
  }
  printf("%s: %d failures\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
