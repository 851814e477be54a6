// SPDX-License-Identifier: MIT
// Heap blocks for the C interface, from the C allocator and aligned as the
// object placed in them needs.  The exports take nothing from the C++
// runtime: a C program links the static library with the C and maths
// libraries alone, and a DLL holds no runtime start-up allocations that it
// would fail to give back when a host unloads it.  Every failure is a null
// pointer, never an exception.
#pragma once

#include <cstddef>
#include <cstdlib>
#if defined(_WIN32)
#include <malloc.h>
#endif

namespace tamsel {

inline void* AllocateAligned(std::size_t size, std::size_t alignment) {
#if defined(_WIN32)
  return _aligned_malloc(size, alignment);
#else
  // posix_memalign wants a power of two no smaller than a pointer.
  if (alignment < sizeof(void*)) alignment = sizeof(void*);
  void* block = nullptr;
  return posix_memalign(&block, alignment, size) == 0 ? block : nullptr;
#endif
}

// Frees a block from AllocateAligned; null is ignored.
inline void FreeAligned(void* block) {
#if defined(_WIN32)
  _aligned_free(block);
#else
  std::free(block);
#endif
}

}  // namespace tamsel
