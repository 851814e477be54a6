# SPDX-License-Identifier: MIT
# The parts beyond the library, and what each needs.  The library itself
# needs a C and a C++ compiler and nothing else.
#
# TAMSEL_BUILD_TESTS, TAMSEL_BUILD_TOOLS and TAMSEL_BUILD_BENCHMARKS are AUTO
# by default: in a top-level build the part is built when everything it needs
# is found, and otherwise skipped with one configure line naming what is
# missing; inside another project AUTO means OFF.  ON insists (a missing
# dependency then fails the configure); OFF skips quietly.
foreach(part TESTS TOOLS BENCHMARKS)
  set(TAMSEL_BUILD_${part} AUTO CACHE STRING "Build the ${part} part: AUTO (when its dependencies are found), ON or OFF")
  set_property(CACHE TAMSEL_BUILD_${part} PROPERTY STRINGS AUTO ON OFF)
endforeach()

# tamsel_resolve_part(<option> <part name> <found variable> <package> ...):
# turns AUTO into ON or OFF, one pair of found variable and Debian package
# per dependency.
macro(tamsel_resolve_part option name)
  if("${${option}}" STREQUAL "AUTO")
    set(tamsel_missing "")
    if(PROJECT_IS_TOP_LEVEL)
      set(tamsel_arguments ${ARGN})
      while(tamsel_arguments)
        list(POP_FRONT tamsel_arguments tamsel_found tamsel_package)
        if(NOT ${tamsel_found})
          list(APPEND tamsel_missing ${tamsel_package})
        endif()
      endwhile()
      if(tamsel_missing)
        list(JOIN tamsel_missing ", " tamsel_missing)
        message(STATUS "TamselCharts: ${name} skipped, not found: ${tamsel_missing}")
        set(${option} OFF)
      else()
        set(${option} ON)
      endif()
    else()
      set(${option} OFF)
    endif()
  endif()
endmacro()

if(PROJECT_IS_TOP_LEVEL)
  find_package(GTest QUIET)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  find_package(fmt QUIET)
  find_package(CLI11 QUIET)
  find_package(benchmark QUIET)
endif()
tamsel_resolve_part(TAMSEL_BUILD_TESTS "tests" GTest_FOUND "GoogleTest (libgtest-dev)" Python3_Interpreter_FOUND
  "Python 3 (python3)")
tamsel_resolve_part(TAMSEL_BUILD_TOOLS "command-line tool" fmt_FOUND "fmt (libfmt-dev)" CLI11_FOUND
  "CLI11 (libcli11-dev)")
tamsel_resolve_part(TAMSEL_BUILD_BENCHMARKS "benchmarks" benchmark_FOUND "Google Benchmark (libbenchmark-dev)")
