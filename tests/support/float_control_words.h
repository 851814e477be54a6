/* SPDX-License-Identifier: MIT */
/*
 * The floating-point control state a host sets before calling the library,
 * for the checks that call it from hosts' environments: the x87 control
 * word, the x87 exception flags and the MXCSR.  Read and installed with GCC
 * inline assembly on x86 and x86-64; usable from C (the Windows hosts) and
 * C++ (the tests, fuzz checks and benchmarks).
 */
#ifndef TAMSEL_FLOAT_CONTROL_WORDS_H
#define TAMSEL_FLOAT_CONTROL_WORDS_H

#if defined(__i386__) || defined(__x86_64__)

#ifdef __cplusplus
#include <cstdint>
#else
#include <stdint.h>
#endif

typedef struct {
  uint16_t x87Control;
  uint16_t x87Flags; /* the six exception flags, stack fault, error summary */
  uint32_t mxcsr;
} FloatControlWords;

/* The x87 environment as fnstenv stores it in 32-bit protected mode. */
typedef struct {
  uint16_t control, unused0, status, unused1;
  uint32_t rest[5];
} FloatControlX87Environment;

static inline FloatControlWords ReadFloatControlWords(void) {
  FloatControlWords words;
  uint16_t status;
  __asm__ __volatile__("fnstcw %0" : "=m"(words.x87Control)::"memory");
  __asm__ __volatile__("fnstsw %0" : "=m"(status)::"memory");
  __asm__ __volatile__("stmxcsr %0" : "=m"(words.mxcsr)::"memory");
  words.x87Flags = (uint16_t)(status & 0xFF);
  return words;
}

/* Flags are set through a whole x87 environment, after clearing any that
   are raised, so that none fires on the way. */
static inline void InstallFloatControlWords(FloatControlWords words) {
  FloatControlX87Environment x87;
  __asm__ __volatile__("fnclex\n\tfnstenv %0" : "=m"(x87)::"memory");
  x87.control = words.x87Control;
  x87.status = (uint16_t)((x87.status & ~0xFF) | words.x87Flags);
  __asm__ __volatile__("fldenv %0" ::"m"(x87) : "memory");
  __asm__ __volatile__("ldmxcsr %0" ::"m"(words.mxcsr) : "memory");
}

static inline int SameFloatControlWords(FloatControlWords a, FloatControlWords b) {
  return a.x87Control == b.x87Control && a.x87Flags == b.x87Flags && a.mxcsr == b.mxcsr;
}

#endif
#endif
