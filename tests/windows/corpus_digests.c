/* SPDX-License-Identifier: MIT */
/* See corpus_digests.h. */
/* A 32-bit program must ask for 64-bit inode numbers and sizes, or readdir
   and stat fail on today's file systems. */
#define _FILE_OFFSET_BITS 64
#include "corpus_digests.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../../fuzz/fuzz_series.h"
#include "../../fuzz/output_digest.h"
#include "../../fuzz/snapshot_digest.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dirent.h>
#include <sys/stat.h>
#endif

typedef struct {
  char** paths;
  int count, capacity;
} PathList;

static int Add(PathList* list, const char* directory, const char* name) {
  if (list->count == list->capacity) {
    const int capacity = list->capacity ? 2 * list->capacity : 256;
    char** grown = realloc(list->paths, sizeof(char*) * (size_t)capacity);
    if (grown == NULL) return 0;
    list->paths = grown;
    list->capacity = capacity;
  }
  const size_t length = strlen(directory) + strlen(name) + 2;
  char* path = malloc(length);
  if (path == NULL) return 0;
  snprintf(path, length, "%s/%s", directory, name);
  list->paths[list->count++] = path;
  return 1;
}

/* The regular files directly inside one directory; 0 if it cannot be read. */
static int ListFiles(const char* directory, PathList* list) {
#if defined(_WIN32)
  char pattern[MAX_PATH];
  snprintf(pattern, sizeof pattern, "%s\\*", directory);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(pattern, &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int ok = 1;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) ok = ok && Add(list, directory, found.cFileName);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return ok;
#else
  DIR* dir = opendir(directory);
  if (dir == NULL) return 0;
  int ok = 1;
  for (struct dirent* entry; (entry = readdir(dir)) != NULL;) {
    char path[4096];
    struct stat info;
    snprintf(path, sizeof path, "%s/%s", directory, entry->d_name);
    if (stat(path, &info) == 0 && S_ISREG(info.st_mode)) ok = ok && Add(list, directory, entry->d_name);
  }
  closedir(dir);
  return ok;
#endif
}

static int ComparePaths(const void* a, const void* b) { return strcmp(*(char* const*)a, *(char* const*)b); }

static uint8_t* ReadWholeFile(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  if (f == NULL) return NULL;
  uint8_t* data = NULL;
  long length = -1;
  if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) >= 0 && fseek(f, 0, SEEK_SET) == 0)
    data = malloc((size_t)length + 1);
  if (data != NULL && fread(data, 1, (size_t)length, f) != (size_t)length) {
    free(data);
    data = NULL;
  }
  fclose(f);
  *size = (size_t)length;
  return data;
}

/* The stream exports of the snapshot digest, through the host's calls. */
typedef struct {
  DllCall call;
  void* context;
} Host;

static uintptr_t FloatWord(float f) {
  uint32_t bits;
  memcpy(&bits, &f, sizeof bits);
  return bits;
}

static void* HostCreate(void* context) {
  const Host* h = context;
  return (void*)h->call(h->context, kStreamCreate, NULL, 0);
}
static int HostPush(void* context, void* stream, float high, float low, float values[4]) {
  const Host* h = context;
  const uintptr_t args[] = {(uintptr_t)stream, FloatWord(high), FloatWord(low), (uintptr_t)values};
  return (int)h->call(h->context, kStreamPush, args, 4);
}
static int HostSave(void* context, const void* stream, unsigned char* buffer, int capacity) {
  const Host* h = context;
  const uintptr_t args[] = {(uintptr_t)stream, (uintptr_t)buffer, (uintptr_t)capacity};
  return (int)h->call(h->context, kStreamSave, args, 3);
}
static void* HostLoad(void* context, const unsigned char* bytes, int size, int* reason) {
  const Host* h = context;
  const uintptr_t args[] = {(uintptr_t)bytes, (uintptr_t)size, (uintptr_t)reason};
  return (void*)h->call(h->context, kStreamLoad, args, 3);
}
static void HostDestroy(void* context, void* stream) {
  const Host* h = context;
  const uintptr_t args[] = {(uintptr_t)stream};
  h->call(h->context, kStreamDestroy, args, 1);
}

/* One input through the four exports and a stream; prints its line,
   returns failures. */
static int DigestOne(const char* path, DllCall call, void* context) {
  const char* name = path + strlen(path);
  while (name > path && name[-1] != '/' && name[-1] != '\\') --name;
  size_t size = 0;
  uint8_t* data = ReadWholeFile(path, &size);
  TamselFuzzSeries series;
  if (data == NULL || !TamselDecodeFuzzSeries(data, size, &series)) {
    printf("FAIL: cannot read %s\n", path);
    free(data);
    return 1;
  }
  free(data);
  const int n = series.count;
  const float guard = -1234.5f;
  float* out[4] = {NULL, NULL, NULL, NULL};
  int failures = 0;
  for (int e = 0; e < 4; ++e) {
    out[e] = malloc(sizeof(float) * (size_t)(n + 1));
    if (out[e] == NULL) {
      printf("FAIL: out of memory for %s\n", name);
      ++failures;
      break;
    }
    out[e][n] = guard;
    const uintptr_t args[] = {(uintptr_t)series.high, (uintptr_t)series.low, (uintptr_t)n, (uintptr_t)out[e]};
    if ((int)call(context, e, args, 4) != n) {
      printf("FAIL: %s(%s) did not return the bar count %d\n", kTamselExportNames[e], name, n);
      ++failures;
    }
    if (memcmp(&out[e][n], &guard, sizeof guard) != 0) {
      printf("FAIL: %s(%s) wrote past the last bar\n", kTamselExportNames[e], name);
      ++failures;
    }
  }
  if (failures == 0) {
    const float* const outputs[4] = {out[0], out[1], out[2], out[3]};
    Host host = {call, context};
    const TamselStreamCalls calls = {&host, HostCreate, HostPush, HostSave, HostLoad, HostDestroy};
    uint64_t snapshots = 0;
    int bar = 0;
    const char* failure = TamselSnapshotDigest(&series, outputs, &calls, &snapshots, &bar);
    if (failure != NULL) {
      printf("FAIL: %s: %s (bar %d, snapshot after bar %d)\n", name, failure, bar, series.cloneAfter);
      ++failures;
    } else {
      printf("%s: digest %016" PRIx64 " snapshot %016" PRIx64 " ok\n", name, TamselOutputDigest(outputs, n), snapshots);
    }
  }
  for (int e = 0; e < 4; ++e) free(out[e]);
  TamselFreeFuzzSeries(&series);
  return failures;
}

int PrintCorpusDigests(char* const* directories, int directoryCount, DllCall call, void* context) {
  PathList list = {NULL, 0, 0};
  int failures = 0;
  for (int d = 0; d < directoryCount; ++d)
    if (!ListFiles(directories[d], &list)) {
      printf("FAIL: cannot list %s\n", directories[d]);
      ++failures;
    }
  if (list.count == 0) {
    printf("FAIL: no corpus files\n");
    ++failures;
  }
  qsort(list.paths, (size_t)list.count, sizeof(char*), ComparePaths);
  for (int i = 0; i < list.count; ++i) {
    failures += DigestOne(list.paths[i], call, context);
    free(list.paths[i]);
  }
  free(list.paths);
  return failures;
}
