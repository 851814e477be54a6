// SPDX-License-Identifier: MIT
// The library's outputs are exact only without value-changing floating-point
// optimisation.  Flags from ~/.R/Makevars come after the package's own on the
// command line and could switch it back on: refuse to build then.
#if defined(__FAST_MATH__)
#error "TamselCharts must not be compiled with -ffast-math (check CXXFLAGS in ~/.R/Makevars)"
#endif
#if defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__
#error "TamselCharts must not be compiled with -ffinite-math-only (check CXXFLAGS in ~/.R/Makevars)"
#endif
