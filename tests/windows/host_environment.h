/* SPDX-License-Identifier: MIT */
/*
 * Calls into the DLL from the floating-point environments real hosts run
 * with.  Each call gets the next environment of the table below, installed
 * just before the call and read back just after: the DLL must give the same
 * bits as ever, must not trap where the host unmasked exceptions, and must
 * hand the control words and flags back exactly.  The host's own code runs
 * in its default environment between calls.  Shared by the 32-bit PE loader
 * and the 64-bit Wine host; GCC inline assembly for x86 and x86-64.
 */
#ifndef TAMSEL_HOST_ENVIRONMENT_H
#define TAMSEL_HOST_ENVIRONMENT_H

#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "../support/float_control_words.h"
#include "golden_check.h"

typedef struct {
  const char* name;
  FloatControlWords words;
} HostEnvironment;

/* No flag is raised where its exception is unmasked: that would already be
   a trap pending in the host. */
enum { kHostEnvironmentCount = 4 };
static const HostEnvironment kHostEnvironments[kHostEnvironmentCount] = {
    {"as the host runtime leaves it", {0, 0, 0}}, /* read at start-up */
    {"Delphi: x87 0x1332, MXCSR 0x1900 (invalid, zero-divide, overflow trap; 64-bit x87)", {0x1332, 0x00, 0x1900}},
    {"toward zero, flush-to-zero, denormals-are-zero, every flag raised", {0x0F7F, 0x3F, 0xFFFF}},
    {"upward, 24-bit x87, every exception unmasked, inexact included", {0x0840, 0x00, 0x4000}},
};

typedef struct {
  DllCall call; /* the host's own way of calling the DLL */
  void* context;
  FloatControlWords startup;
  long made; /* calls so far, which picks the next environment */
  long calls[kHostEnvironmentCount];
  long changed[kHostEnvironmentCount];
} HostEnvironmentCalls;

static void StartHostEnvironmentCalls(HostEnvironmentCalls* h, DllCall call, void* context) {
  memset(h, 0, sizeof *h);
  h->call = call;
  h->context = context;
  h->startup = ReadFloatControlWords();
}

/* A DllCall: the wrapped call, made in the next environment of the table. */
static uintptr_t CallInHostEnvironment(void* context, int exportIndex, const uintptr_t* args, int argCount) {
  HostEnvironmentCalls* h = context;
  const int which = (int)(h->made++ % kHostEnvironmentCount);
  InstallFloatControlWords(which == 0 ? h->startup : kHostEnvironments[which].words);
  /* As the processor reads it back (a reserved x87 control bit reads as 1). */
  const FloatControlWords installed = ReadFloatControlWords();
  const uintptr_t result = h->call(h->context, exportIndex, args, argCount);
  const FloatControlWords after = ReadFloatControlWords();
  InstallFloatControlWords(h->startup);
  ++h->calls[which];
  if (!SameFloatControlWords(after, installed) && h->changed[which]++ < 5)
    printf(
        "FAIL: %s changed the host's environment \"%s\": x87 control %#x -> %#x, x87 flags %#x -> %#x, "
        "MXCSR %#x -> %#x\n",
        kTamselExportNames[exportIndex], kHostEnvironments[which].name, installed.x87Control, after.x87Control,
        installed.x87Flags, after.x87Flags, (unsigned)installed.mxcsr, (unsigned)after.mxcsr);
  return result;
}

/* Prints the calls made in each environment; returns the number of calls
   after which the environment was not the host's own. */
static long ReportHostEnvironmentCalls(const HostEnvironmentCalls* h) {
  long changed = 0;
  for (int i = 0; i < kHostEnvironmentCount; ++i) {
    printf("%8ld calls, %ld left the environment changed: %s", h->calls[i], h->changed[i], kHostEnvironments[i].name);
    if (i == 0) printf(" (x87 %#x, MXCSR %#x)", h->startup.x87Control, (unsigned)h->startup.mxcsr);
    printf("\n");
    changed += h->changed[i];
  }
  return changed;
}

#endif
