/* SPDX-License-Identifier: MIT */
/*
 * A minimal Windows DLL loader for 32-bit x86, to run TamselCharts.dll the
 * way a 32-bit Windows host does, on Linux (under qemu-i386 here):
 *   - maps the sections at a base other than the preferred one and applies
 *     the base relocations, so relocation is really exercised;
 *   - binds the imports against the small table below, which implements the
 *     KERNEL32 (stdcall) and msvcrt (cdecl) functions the DLL imports on top
 *     of libc; an import missing from the table fails the load;
 *   - gives the DLL a thread environment block through %fs and sets up its
 *     static TLS, then runs the TLS callbacks and the entry point with
 *     DLL_PROCESS_ATTACH (and with DLL_PROCESS_DETACH at the end);
 *   - finds the exports by name and calls them cdecl on a stack aligned to
 *     4 bytes only (never 16), checking after each call that the callee left
 *     its arguments for the caller to remove.
 * Then the golden series run through the DLL (golden_check.c), or with
 * --digests the corpus digests are printed (corpus_digests.c), each call
 * made from one of the floating-point environments of host_environment.h.
 * The DLL picks its spectrum kernel from the processor QEMU emulates and
 * from TAMSELCHARTS_SIMD, passed through from the loader's environment.
 *
 * usage: pe_loader TamselCharts.dll golden.bin [agreement.txt]
 *        pe_loader TamselCharts.dll --digests DIRECTORY...
 */
#define _GNU_SOURCE
#include <asm/ldt.h>
#include <cpuid.h>
#include <errno.h>
#include <locale.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "corpus_digests.h"
#include "golden_check.h"
#include "host_environment.h"

#if !defined(__i386__)
#error "pe_loader is a 32-bit x86 program: build it with -m32"
#endif

#define WINAPI __attribute__((stdcall))
typedef uint32_t DWORD;
typedef int BOOL;

static void Die(const char* what) {
  fprintf(stderr, "pe_loader: %s\n", what);
  exit(2);
}

/* ---- The thread environment block ------------------------------------- */

/* The parts of a TEB the MinGW runtime reads: the TIB (stack bounds, self
   pointer), the static TLS array and the TlsAlloc slots. */
enum { kTebSelf = 0x18, kTebTlsArray = 0x2c, kTebTlsSlots = 0xe10, kTlsSlotCount = 64 };
static uint8_t* teb;
static uint8_t* callStack;
enum { kCallStackSize = 1 << 20 };
static int tlsUsed[kTlsSlotCount];
static void* staticTlsArray[4];

static void InstallTeb(void) {
  teb = calloc(1, 0x1000);
  /* The DLL runs on the loader's call stack (CallMisaligned). */
  *(uint32_t*)(teb + 0x0) = 0xffffffffu;                                     /* no SEH frame */
  *(uint32_t*)(teb + 0x4) = (uint32_t)(uintptr_t)callStack + kCallStackSize; /* stack base */
  *(uint32_t*)(teb + 0x8) = (uint32_t)(uintptr_t)callStack;                  /* stack limit */
  *(uint32_t*)(teb + kTebSelf) = (uint32_t)teb;
  *(uint32_t*)(teb + kTebTlsArray) = (uint32_t)staticTlsArray;
  /* An LDT data segment based at the TEB, loaded into %fs (glibc on i386
     uses %gs, so %fs is free). */
  struct user_desc desc = {0};
  desc.entry_number = 0;
  desc.base_addr = (unsigned)teb;
  desc.limit = 0xfff;
  desc.seg_32bit = 1;
  desc.useable = 1;
  if (syscall(SYS_modify_ldt, 1, &desc, sizeof desc) != 0) Die("modify_ldt failed");
  const unsigned short selector = (0 << 3) | 4 | 3; /* LDT entry 0, ring 3 */
  __asm__ volatile("movw %0, %%fs" ::"r"(selector));
}

/* ---- KERNEL32: stdcall ------------------------------------------------ */

static DWORD lastError;
typedef struct {
  long count, maximum;
} Semaphore;

static WINAPI BOOL K32_CloseHandle(void* handle) {
  free(handle);
  return 1;
}
static WINAPI void* K32_CreateSemaphoreW(void* attributes, long initial, long maximum, const void* name) {
  (void)attributes;
  if (name != NULL) Die("named semaphores are not supported");
  Semaphore* s = malloc(sizeof *s);
  s->count = initial;
  s->maximum = maximum;
  return s;
}
static WINAPI BOOL K32_ReleaseSemaphore(void* handle, long count, long* previous) {
  Semaphore* s = handle;
  if (previous != NULL) *previous = s->count;
  if (s->count + count > s->maximum) return 0;
  s->count += count;
  return 1;
}
static WINAPI DWORD K32_WaitForSingleObject(void* handle, DWORD milliseconds) {
  Semaphore* s = handle;
  /* One thread only: a wait that cannot be satisfied now never will be. */
  if (s->count > 0) return --s->count, 0;
  if (milliseconds == 0xffffffffu) Die("WaitForSingleObject would wait forever");
  return 0x102; /* WAIT_TIMEOUT */
}
/* Critical sections: one thread, so entering always succeeds; the recursion
   count is kept to catch unbalanced use. */
static WINAPI void K32_InitializeCriticalSection(int32_t* cs) { memset(cs, 0, 24); }
static WINAPI void K32_DeleteCriticalSection(int32_t* cs) {
  if (cs[2] != 0) Die("critical section deleted while held");
}
static WINAPI void K32_EnterCriticalSection(int32_t* cs) { ++cs[2]; }
static WINAPI void K32_LeaveCriticalSection(int32_t* cs) {
  if (--cs[2] < 0) Die("critical section left more often than entered");
}
static WINAPI BOOL K32_FreeLibrary(void* module) { return module != NULL; }
static WINAPI DWORD K32_GetCurrentThreadId(void) { return 1; }
static WINAPI DWORD K32_GetLastError(void) { return lastError; }
static WINAPI void K32_SetLastError(DWORD error) { lastError = error; }
/* No other DLL is loaded: the runtime falls back to its static copies. */
static WINAPI void* K32_GetModuleHandleA(const char* name) {
  (void)name;
  lastError = 126;
  return NULL;
}
static WINAPI void* K32_GetModuleHandleW(const void* name) {
  (void)name;
  lastError = 126;
  return NULL;
}
static WINAPI void* K32_LoadLibraryA(const char* name) {
  (void)name;
  lastError = 126;
  return NULL;
}
static WINAPI void* K32_GetProcAddress(void* module, const char* name) {
  (void)module, (void)name;
  lastError = 127;
  return NULL;
}
static WINAPI BOOL K32_IsDBCSLeadByteEx(unsigned codePage, unsigned char c) {
  (void)codePage, (void)c;
  return 0;
}
/* Code page conversions, for ASCII text (all the runtime ever converts here). */
static WINAPI int K32_MultiByteToWideChar(unsigned codePage, DWORD flags, const char* in, int inLength, uint16_t* out,
                                          int outLength) {
  (void)codePage, (void)flags;
  if (inLength < 0) inLength = (int)strlen(in) + 1;
  if (outLength == 0) return inLength;
  if (outLength < inLength) return lastError = 122, 0;
  for (int i = 0; i < inLength; ++i) out[i] = (unsigned char)in[i];
  return inLength;
}
static WINAPI int K32_WideCharToMultiByte(unsigned codePage, DWORD flags, const uint16_t* in, int inLength, char* out,
                                          int outLength, const char* defaultChar, BOOL* usedDefault) {
  (void)codePage, (void)flags, (void)defaultChar;
  if (inLength < 0)
    for (inLength = 1; in[inLength - 1] != 0; ++inLength) {
    }
  if (usedDefault != NULL) *usedDefault = 0;
  if (outLength == 0) return inLength;
  if (outLength < inLength) return lastError = 122, 0;
  for (int i = 0; i < inLength; ++i) out[i] = in[i] < 128 ? (char)in[i] : '?';
  return inLength;
}
static WINAPI void K32_Sleep(DWORD milliseconds) { usleep(milliseconds * 1000u); }
static WINAPI DWORD K32_TlsAlloc(void) {
  for (DWORD i = 0; i < kTlsSlotCount; ++i)
    if (!tlsUsed[i]) {
      tlsUsed[i] = 1;
      ((void**)(teb + kTebTlsSlots))[i] = NULL;
      return i;
    }
  return 0xffffffffu;
}
static WINAPI BOOL K32_TlsFree(DWORD i) {
  if (i >= kTlsSlotCount || !tlsUsed[i]) return 0;
  tlsUsed[i] = 0;
  return 1;
}
static WINAPI void* K32_TlsGetValue(DWORD i) {
  if (i >= kTlsSlotCount || !tlsUsed[i]) Die("TlsGetValue on a free slot");
  lastError = 0;
  return ((void**)(teb + kTebTlsSlots))[i];
}
static WINAPI BOOL K32_TlsSetValue(DWORD i, void* value) {
  if (i >= kTlsSlotCount || !tlsUsed[i]) Die("TlsSetValue on a free slot");
  ((void**)(teb + kTebTlsSlots))[i] = value;
  return 1;
}
/* The image is mapped read-write-execute whole, so protection changes (the
   runtime's pseudo-relocations) need nothing. */
static WINAPI BOOL K32_VirtualProtect(void* address, size_t size, DWORD protect, DWORD* old) {
  (void)address, (void)size, (void)protect;
  if (old != NULL) *old = 0x40; /* PAGE_EXECUTE_READWRITE */
  return 1;
}
static uint8_t* imageBase;
static uint32_t imageSize;
static WINAPI size_t K32_VirtualQuery(const void* address, uint32_t* info, size_t length) {
  if (length < 28) return 0;
  const uintptr_t page = (uintptr_t)address & ~(uintptr_t)0xfff;
  info[0] = page;                                     /* BaseAddress */
  info[1] = (uint32_t)imageBase;                      /* AllocationBase */
  info[2] = 0x40;                                     /* AllocationProtect */
  info[3] = (uint32_t)(imageBase + imageSize) - page; /* RegionSize */
  info[4] = 0x1000;                                   /* State: MEM_COMMIT */
  info[5] = 0x40;                                     /* Protect */
  info[6] = 0x1000000;                                /* Type: MEM_IMAGE */
  return 28;
}

/* ---- msvcrt: cdecl ---------------------------------------------------- */

/* msvcrt's FILE array: the runtime only ever names stdout and stderr in it. */
static uint8_t msvcrtIob[20][32];
static int msvcrtMbCurMax = 1;
static int msvcrtErrno;
static FILE* Stream(void* file) {
  if (file == msvcrtIob[1]) return stdout;
  if (file == msvcrtIob[2]) return stderr;
  Die("output to a stream other than stdout or stderr");
  return NULL;
}
static void* C_setusermatherr(void* handler) {
  (void)handler;
  return NULL;
}
/* The environment the DLL computes in, as its C runtime sees it: a stream
   is allocated here. */
static FloatControlWords seenByMalloc;
static void* C_aligned_malloc(size_t size, size_t alignment) {
  void* p = NULL;
  seenByMalloc = ReadFloatControlWords();
  return posix_memalign(&p, alignment < sizeof(void*) ? sizeof(void*) : alignment, size) == 0 ? p : NULL;
}
static void C_aligned_free(void* p) { free(p); }
static void C_amsg_exit(int code) {
  fprintf(stderr, "pe_loader: the DLL's runtime gave up (_amsg_exit %d)\n", code);
  exit(3);
}
static int* C_errno(void) { return &msvcrtErrno; }
static int C_initterm(void (**begin)(void), void (**end)(void)) {
  for (; begin < end; ++begin)
    if (*begin != NULL) (*begin)();
  return 0;
}
static void C_lock(int n) { (void)n; }
static void C_unlock(int n) { (void)n; }
static void C_abort(void) { Die("the DLL called abort()"); }
static int C_fputc(int c, void* f) { return fputc(c, Stream(f)); }
static int C_fputs(const char* s, void* f) { return fputs(s, Stream(f)); }
static size_t C_fwrite(const void* p, size_t size, size_t n, void* f) { return fwrite(p, size, n, Stream(f)); }
/* msvcrt's va_list on x86 is a plain pointer into the argument area, as is
   glibc's, so it passes through. */
static int C_vfprintf(void* f, const char* format, va_list args) { return vfprintf(Stream(f), format, args); }
static struct { char *decimalPoint, *thousandsSeparator, *grouping; } msvcrtLconv = {".", "", ""};
static void* C_localeconv(void) { return &msvcrtLconv; }
static char* C_setlocale(int category, const char* locale) {
  (void)category;
  return locale == NULL || strcmp(locale, "C") == 0 || locale[0] == 0 ? "C" : NULL;
}
static size_t C_wcslen(const uint16_t* s) {
  size_t n = 0;
  while (s[n] != 0) ++n;
  return n;
}
static int C_memcmp(const void* a, const void* b, size_t n) { return memcmp(a, b, n); }
static void* C_memcpy(void* d, const void* s, size_t n) { return memcpy(d, s, n); }
static void* C_memmove(void* d, const void* s, size_t n) { return memmove(d, s, n); }
static void* C_memset(void* d, int c, size_t n) { return memset(d, c, n); }
static int C_atoi(const char* s) { return atoi(s); }
static void* C_calloc(size_t n, size_t size) { return calloc(n, size); }
static void* C_malloc(size_t size) { return malloc(size); }
static void* C_realloc(void* p, size_t size) { return realloc(p, size); }
static void C_free(void* p) { free(p); }
static char* C_strchr(const char* s, int c) { return strchr(s, c); }
static int C_strcmp(const char* a, const char* b) { return strcmp(a, b); }
static int C_strncmp(const char* a, const char* b, size_t n) { return strncmp(a, b, n); }
static size_t C_strlen(const char* s) { return strlen(s); }
static char* C_strerror(int e) { return strerror(e); }
/* The DLL asks for TAMSELCHARTS_SIMD once, when it first chooses its kernel. */
static char* C_getenv(const char* name) {
  char* value = getenv(name);
  fprintf(stderr, "pe_loader: the DLL read %s%s%s\n", name, value ? "=" : " (not set)", value ? value : "");
  return value;
}

typedef struct {
  const char* dll;
  const char* name;
  void* address;
} Import;

#define K32(f) \
  { "KERNEL32.dll", #f, (void*)K32_##f }
#define CRT(name, f) \
  { "msvcrt.dll", name, (void*)f }
static const Import kImports[] = {
    K32(CloseHandle),
    K32(CreateSemaphoreW),
    K32(DeleteCriticalSection),
    K32(EnterCriticalSection),
    K32(FreeLibrary),
    K32(GetCurrentThreadId),
    K32(GetLastError),
    K32(GetModuleHandleA),
    K32(GetModuleHandleW),
    K32(GetProcAddress),
    K32(InitializeCriticalSection),
    K32(IsDBCSLeadByteEx),
    K32(LeaveCriticalSection),
    K32(LoadLibraryA),
    K32(MultiByteToWideChar),
    K32(ReleaseSemaphore),
    K32(SetLastError),
    K32(Sleep),
    K32(TlsAlloc),
    K32(TlsFree),
    K32(TlsGetValue),
    K32(TlsSetValue),
    K32(VirtualProtect),
    K32(VirtualQuery),
    K32(WaitForSingleObject),
    K32(WideCharToMultiByte),
    CRT("__mb_cur_max", &msvcrtMbCurMax),
    CRT("__setusermatherr", C_setusermatherr),
    CRT("_aligned_free", C_aligned_free),
    CRT("_aligned_malloc", C_aligned_malloc),
    CRT("_amsg_exit", C_amsg_exit),
    CRT("_errno", C_errno),
    CRT("_initterm", C_initterm),
    CRT("_iob", msvcrtIob),
    CRT("_lock", C_lock),
    CRT("_unlock", C_unlock),
    CRT("abort", C_abort),
    CRT("atoi", C_atoi),
    CRT("calloc", C_calloc),
    CRT("fputc", C_fputc),
    CRT("fputs", C_fputs),
    CRT("free", C_free),
    CRT("fwrite", C_fwrite),
    CRT("getenv", C_getenv),
    CRT("localeconv", C_localeconv),
    CRT("malloc", C_malloc),
    CRT("memcmp", C_memcmp),
    CRT("memcpy", C_memcpy),
    CRT("memmove", C_memmove),
    CRT("memset", C_memset),
    CRT("realloc", C_realloc),
    CRT("setlocale", C_setlocale),
    CRT("strchr", C_strchr),
    CRT("strcmp", C_strcmp),
    CRT("strerror", C_strerror),
    CRT("strlen", C_strlen),
    CRT("strncmp", C_strncmp),
    CRT("vfprintf", C_vfprintf),
    CRT("wcslen", C_wcslen),
};

/* ---- Calls on a stack aligned to 4 bytes only ------------------------- */

/* CallOnStack(fn, args, count, top): switches to the stack ending at top,
   pushes the arguments right to left, calls fn and returns its %eax; *popped
   receives how many argument bytes the callee removed (0 for cdecl). */
uint32_t CallOnStack(void* fn, const uint32_t* args, int count, uint8_t* top, uint32_t* popped);
__asm__(
    ".text\n"
    ".globl CallOnStack\n"
    "CallOnStack:\n"
    "  pushl %ebp\n"
    "  movl %esp, %ebp\n"
    "  pushl %ebx\n"
    "  pushl %esi\n"
    "  pushl %edi\n"
    "  movl 12(%ebp), %esi\n" /* args */
    "  movl 16(%ebp), %ecx\n" /* count */
    "  movl 20(%ebp), %edi\n" /* top */
    "  movl 8(%ebp), %eax\n"  /* fn */
    "  movl %edi, %esp\n"
    "1: testl %ecx, %ecx\n"
    "  jz 2f\n"
    "  decl %ecx\n"
    "  pushl (%esi,%ecx,4)\n"
    "  jmp 1b\n"
    "2: movl %esp, %ebx\n" /* where the arguments start */
    "  call *%eax\n"
    "  movl %esp, %ecx\n"
    "  subl %ebx, %ecx\n"
    "  movl 24(%ebp), %edx\n"
    "  movl %ecx, (%edx)\n"
    "  leal -12(%ebp), %esp\n"
    "  popl %edi\n"
    "  popl %esi\n"
    "  popl %ebx\n"
    "  popl %ebp\n"
    "  ret\n");

static unsigned callNumber;

/* The arguments start at an address that is 4 mod 16, 8 mod 16 or 12 mod 16
   in turn: a multiple of 4, never of 16.  A callee that assumed the usual
   16-byte alignment on entry would misplace its aligned spills. */
static uint32_t CallMisaligned(void* fn, const uint32_t* args, int count, uint32_t calleePops, const char* what) {
  const unsigned offset = 4 * (1 + callNumber++ % 3);
  uint8_t* argumentStart = callStack + kCallStackSize - 256 + offset;
  uint32_t popped = 0;
  const uint32_t result = CallOnStack(fn, args, count, argumentStart + 4 * count, &popped);
  if (popped != calleePops) {
    fprintf(stderr, "pe_loader: %s removed %u argument bytes, want %u\n", what, popped, calleePops);
    exit(2);
  }
  return result;
}

/* ---- Loading ------------------------------------------------------------ */

static uint8_t* ReadFile(const char* path, long* size) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  *size = ftell(f);
  fseek(f, 0, SEEK_SET);
  uint8_t* data = malloc((size_t)*size);
  if (fread(data, 1, (size_t)*size, f) != (size_t)*size) data = NULL;
  fclose(f);
  return data;
}

#define U16(p) (*(const uint16_t*)(p))
#define U32(p) (*(const uint32_t*)(p))

typedef struct {
  void* exports[TAMSEL_EXPORT_COUNT];
  void* entryPoint;
  const uint32_t* tlsCallbacks; /* NULL-terminated, or NULL */
} Dll;

/* The order Windows uses: TLS callbacks, then the entry point, on attach
   and on detach alike. */
static uint32_t Notify(const Dll* dll, uint32_t reason) {
  const uint32_t args[] = {(uint32_t)imageBase, reason, 0};
  for (const uint32_t* cb = dll->tlsCallbacks; cb != NULL && *cb != 0; ++cb)
    CallMisaligned((void*)*cb, args, 3, 12, "a TLS callback");
  return CallMisaligned(dll->entryPoint, args, 3, 12, "the entry point");
}

static void Load(const char* path, Dll* dll) {
  long size;
  uint8_t* file = ReadFile(path, &size);
  if (file == NULL || size < 0x100 || file[0] != 'M' || file[1] != 'Z') Die("not a PE file");
  const uint8_t* pe = file + U32(file + 0x3c);
  if (memcmp(pe, "PE\0\0", 4) != 0) Die("no PE signature");
  const uint8_t* coff = pe + 4;
  if (U16(coff) != 0x14c) Die("not an i386 image");
  const unsigned sectionCount = U16(coff + 2);
  const uint8_t* opt = coff + 20;
  if (U16(opt) != 0x10b) Die("not a PE32 optional header");
  const uint32_t entryRva = U32(opt + 16), preferredBase = U32(opt + 28);
  imageSize = U32(opt + 56);
  const uint32_t headerSize = U32(opt + 60);
  const uint8_t* dirs = opt + 96;

  /* Anywhere but the preferred base: the relocations must do their work. */
  imageBase = mmap(NULL, imageSize + 0x10000, PROT_READ | PROT_WRITE | PROT_EXEC, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (imageBase == MAP_FAILED) Die("mmap failed");
  if ((uint32_t)imageBase == preferredBase) imageBase += 0x10000;
  memcpy(imageBase, file, headerSize);
  const uint8_t* section = opt + U16(coff + 16);
  for (unsigned i = 0; i < sectionCount; ++i, section += 40) {
    const uint32_t virtualSize = U32(section + 8), rva = U32(section + 12), rawSize = U32(section + 16),
                   rawOffset = U32(section + 20);
    if (rva + (virtualSize > rawSize ? virtualSize : rawSize) > imageSize) Die("section outside the image");
    memcpy(imageBase + rva, file + rawOffset, rawSize < virtualSize || virtualSize == 0 ? rawSize : virtualSize);
  }

  /* Base relocations: HIGHLOW only on i386 (ABSOLUTE is padding). */
  const uint32_t delta = (uint32_t)imageBase - preferredBase;
  const uint32_t relocRva = U32(dirs + 5 * 8), relocSize = U32(dirs + 5 * 8 + 4);
  unsigned relocated = 0;
  for (uint32_t at = 0; at < relocSize;) {
    const uint8_t* block = imageBase + relocRva + at;
    const uint32_t page = U32(block), blockSize = U32(block + 4);
    if (blockSize < 8) Die("bad relocation block");
    for (uint32_t k = 8; k < blockSize; k += 2) {
      const uint16_t entry = U16(block + k);
      if (entry >> 12 == 3) {
        *(uint32_t*)(imageBase + page + (entry & 0xfff)) += delta;
        ++relocated;
      } else if (entry >> 12 != 0) {
        Die("unsupported relocation type");
      }
    }
    at += blockSize;
  }
  printf("mapped at %p (preferred 0x%08x), %u relocations applied\n", (void*)imageBase, preferredBase, relocated);

  /* Imports, by name only. */
  const uint32_t importRva = U32(dirs + 1 * 8);
  unsigned bound = 0;
  for (const uint8_t* d = imageBase + importRva; U32(d + 12) != 0; d += 20) {
    const char* dllName = (const char*)imageBase + U32(d + 12);
    uint32_t* thunk = (uint32_t*)(imageBase + U32(d + 16));
    const uint32_t* lookup = (const uint32_t*)(imageBase + (U32(d) != 0 ? U32(d) : U32(d + 16)));
    for (; *lookup != 0; ++lookup, ++thunk) {
      if (*lookup & 0x80000000u) Die("import by ordinal");
      const char* name = (const char*)imageBase + *lookup + 2;
      void* address = NULL;
      for (size_t k = 0; k < sizeof kImports / sizeof kImports[0]; ++k)
        if (strcasecmp(kImports[k].dll, dllName) == 0 && strcmp(kImports[k].name, name) == 0)
          address = kImports[k].address;
      if (address == NULL) {
        fprintf(stderr, "pe_loader: unresolved import %s!%s\n", dllName, name);
        exit(2);
      }
      *thunk = (uint32_t)address;
      ++bound;
    }
  }
  printf("%u imports bound\n", bound);

  /* Static TLS: one slot, the template copied; then the callbacks. */
  InstallTeb();
  const uint32_t tlsRva = U32(dirs + 9 * 8);
  if (tlsRva != 0) {
    const uint8_t* tls = imageBase + tlsRva;
    const uint32_t start = U32(tls), end = U32(tls + 4), indexAddress = U32(tls + 8), callbacks = U32(tls + 12),
                   zeroFill = U32(tls + 16);
    uint8_t* block = calloc(1, end - start + zeroFill + 16);
    memcpy(block, (const void*)start, end - start);
    staticTlsArray[0] = block;
    *(uint32_t*)indexAddress = 0;
    dll->tlsCallbacks = (const uint32_t*)callbacks;
  }
  dll->entryPoint = imageBase + entryRva;
  if (Notify(dll, 1 /* DLL_PROCESS_ATTACH */) == 0) Die("DLL_PROCESS_ATTACH returned FALSE");

  /* Exports, by name. */
  const uint8_t* exp = imageBase + U32(dirs);
  const uint32_t nameCount = U32(exp + 24);
  const uint32_t* functions = (const uint32_t*)(imageBase + U32(exp + 28));
  const uint32_t* names = (const uint32_t*)(imageBase + U32(exp + 32));
  const uint16_t* ordinals = (const uint16_t*)(imageBase + U32(exp + 36));
  for (int e = 0; e < TAMSEL_EXPORT_COUNT; ++e) {
    for (uint32_t k = 0; k < nameCount; ++k)
      if (strcmp((const char*)imageBase + names[k], kTamselExportNames[e]) == 0)
        dll->exports[e] = imageBase + functions[ordinals[k]];
    if (dll->exports[e] == NULL) {
      fprintf(stderr, "pe_loader: export %s not found\n", kTamselExportNames[e]);
      exit(2);
    }
  }
  free(file);
}

/* What the DLL's kernel choice will find on the processor QEMU emulates:
   the instruction sets CPUID reports and the register state XCR0 says is
   saved (the DLL decides by the same bits, x86_vector_support.cpp). */
static void ReportVectorSupport(void) {
  unsigned a = 0, b = 0, c = 0, d = 0, leaf7 = 0, low = 0, high = 0;
  const unsigned highest = __get_cpuid_max(0, NULL);
  if (highest >= 1) __get_cpuid(1, &a, &b, &c, &d);
  const unsigned leaf1 = c;
  if (highest >= 7) __get_cpuid_count(7, 0, &a, &leaf7, &c, &d);
  if (leaf1 & (1u << 27)) __asm__ volatile("xgetbv" : "=a"(low), "=d"(high) : "c"(0));
  (void)high;
  const int avx2 = (leaf1 & (1u << 28)) && (low & 0x6) == 0x6 && (leaf7 & (1u << 5));
  const int avx512 = avx2 && (low & 0xe6) == 0xe6 && (leaf7 & (1u << 16));
  fprintf(stderr, "pe_loader: the processor offers AVX2 %s, AVX-512F %s (XCR0 %#x)\n", avx2 ? "yes" : "no",
          avx512 ? "yes" : "no", low);
}

static uintptr_t CallExport(void* context, int e, const uintptr_t* args, int count) {
  Dll* dll = context;
  uint32_t words[8];
  for (int i = 0; i < count; ++i) words[i] = (uint32_t)args[i];
  return CallMisaligned(dll->exports[e], words, count, 0, kTamselExportNames[e]);
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s TamselCharts.dll golden.bin [agreement.txt]\n", argv[0]);
    fprintf(stderr, "       %s TamselCharts.dll --digests DIRECTORY...\n", argv[0]);
    return 2;
  }
  const int digests = strcmp(argv[2], "--digests") == 0;
  ReportVectorSupport();
  callStack = aligned_alloc(16, kCallStackSize);
  Dll dll;
  memset(&dll, 0, sizeof dll);
  Load(argv[1], &dll);
  /* Progress on stderr in digest mode: stdout carries only the digests. */
  fprintf(digests ? stderr : stdout, "process attach succeeded, %d exports found\n", TAMSEL_EXPORT_COUNT);
  HostEnvironmentCalls environments;
  StartHostEnvironmentCalls(&environments, CallExport, &dll);
  if (digests) {
    int failures = PrintCorpusDigests(argv + 3, argc - 3, CallInHostEnvironment, &environments);
    failures += ReportHostEnvironmentCalls(&environments) != 0;
    if (Notify(&dll, 0 /* DLL_PROCESS_DETACH */) == 0) ++failures;
    return failures ? 1 : 0;
  }
  int failures = RunGoldenChecks(argv[2], argc > 3 ? argv[3] : NULL, "win32", CallInHostEnvironment, &environments);
  failures += ReportHostEnvironmentCalls(&environments) != 0;
  /* Inside a call the DLL runs with every exception masked, round to
     nearest and the x87 at double precision, whatever the host set:
     StreamCreate's allocation sees it. */
  {
    const FloatControlWords startup = ReadFloatControlWords();
    InstallFloatControlWords(kHostEnvironments[1].words);
    const uintptr_t stream = CallExport(&dll, kStreamCreate, NULL, 0);
    InstallFloatControlWords(startup);
    const uintptr_t destroyArgs[] = {stream};
    CallExport(&dll, kStreamDestroy, destroyArgs, 1);
    printf("inside a call from the Delphi environment: x87 control %#x, MXCSR %#x\n", seenByMalloc.x87Control,
           (unsigned)seenByMalloc.mxcsr);
    if (stream == 0 || seenByMalloc.x87Control != 0x027F || (seenByMalloc.mxcsr & ~0x3Fu) != 0x1F80) {
      printf("FAIL: the DLL does not compute in its own environment\n");
      ++failures;
    }
  }
  /* Unloading: the runtime runs its exit list and must not fail. */
  if (Notify(&dll, 0 /* DLL_PROCESS_DETACH */) == 0) {
    printf("FAIL: DLL_PROCESS_DETACH returned FALSE\n");
    ++failures;
  }
  printf("%s: %d failures\n", failures ? "FAILED" : "passed", failures);
  return failures ? 1 : 0;
}
