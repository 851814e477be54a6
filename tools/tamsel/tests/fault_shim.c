/* SPDX-License-Identifier: MIT */
/* Makes one system call of a run fail, for the hostile-conditions test.
 *
 * Loaded with LD_PRELOAD into the tool.  TAMSEL_FAULT_CALL names the call
 * (write, fsync, rename, close or open), TAMSEL_FAULT_AT the 1-based number
 * of the call that fails and TAMSEL_FAULT_ERRNO its error (ENOSPC, EIO or
 * EACCES).  A failing close still closes, as Linux does.  With
 * TAMSEL_FAULT_REPORT set, the number of calls made is written to that file
 * at exit, so a test can sweep every call of a run. */
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

static long fault_at = -1;
static int fault_errno = EIO;
static const char* fault_call = "";
static long calls;

__attribute__((constructor)) static void read_settings(void) {
  const char* call = getenv("TAMSEL_FAULT_CALL");
  const char* at = getenv("TAMSEL_FAULT_AT");
  const char* error = getenv("TAMSEL_FAULT_ERRNO");
  if (call != NULL) fault_call = call;
  if (at != NULL) fault_at = atol(at);
  if (error != NULL && strcmp(error, "ENOSPC") == 0) fault_errno = ENOSPC;
  if (error != NULL && strcmp(error, "EACCES") == 0) fault_errno = EACCES;
}

__attribute__((destructor)) static void report_count(void) {
  const char* path = getenv("TAMSEL_FAULT_REPORT");
  if (path == NULL) return;
  FILE* file = fopen(path, "w");
  if (file == NULL) return;
  fprintf(file, "%ld\n", calls);
  fclose(file);
}

/* True when this call of name is the one to fail. */
static int fails(const char* name) {
  if (strcmp(name, fault_call) != 0) return 0;
  return __atomic_add_fetch(&calls, 1, __ATOMIC_SEQ_CST) == fault_at;
}

static void* next(const char* name) { return dlsym(RTLD_NEXT, name); }

ssize_t write(int fd, const void* data, size_t size) {
  static ssize_t (*real)(int, const void*, size_t);
  if (real == NULL) real = (ssize_t(*)(int, const void*, size_t))next("write");
  if (fails("write")) {
    errno = fault_errno;
    return -1;
  }
  return real(fd, data, size);
}

int fsync(int fd) {
  static int (*real)(int);
  if (real == NULL) real = (int (*)(int))next("fsync");
  if (fails("fsync")) {
    errno = fault_errno;
    return -1;
  }
  return real(fd);
}

int rename(const char* from, const char* to) {
  static int (*real)(const char*, const char*);
  if (real == NULL) real = (int (*)(const char*, const char*))next("rename");
  if (fails("rename")) {
    errno = fault_errno;
    return -1;
  }
  return real(from, to);
}

int close(int fd) {
  static int (*real)(int);
  if (real == NULL) real = (int (*)(int))next("close");
  const int result = real(fd);
  if (fails("close")) {
    errno = fault_errno;
    return -1;
  }
  return result;
}

static int open_with(const char* name, const char* path, int flags, mode_t mode) {
  int (*real)(const char*, int, ...) = (int (*)(const char*, int, ...))next(name);
  if (fails("open")) {
    errno = fault_errno;
    return -1;
  }
  return real(path, flags, mode);
}

int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  return open_with("open", path, flags, mode);
}

int open64(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  return open_with("open64", path, flags, mode);
}

/* The output's temporary is created, renamed and removed relative to a
   descriptor of its directory: those calls count as "open" and "rename". */
static int openat_with(const char* name, int dir, const char* path, int flags, mode_t mode) {
  int (*real)(int, const char*, int, ...) = (int (*)(int, const char*, int, ...))next(name);
  if (fails("open")) {
    errno = fault_errno;
    return -1;
  }
  return real(dir, path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  return openat_with("openat", dir, path, flags, mode);
}

int openat64(int dir, const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = (mode_t)va_arg(args, int);
    va_end(args);
  }
  return openat_with("openat64", dir, path, flags, mode);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
  static int (*real)(int, const char*, int, const char*);
  if (real == NULL) real = (int (*)(int, const char*, int, const char*))next("renameat");
  if (fails("rename")) {
    errno = fault_errno;
    return -1;
  }
  return real(fromDir, from, toDir, to);
}
