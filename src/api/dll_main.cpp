// SPDX-License-Identifier: MIT
// The DLL entry point for Windows builds.  The library keeps no process-wide
// resources that need setting up, so attaching always succeeds; on detach the
// C runtime's own start-up code runs the static destructors, nothing else is
// needed here.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)instance;
  (void)reason;
  (void)reserved;
  return TRUE;
}
