# SPDX-License-Identifier: MIT
# The project's version is set in one place, the public header's
# TAMSELCHARTS_VERSION_MAJOR/MINOR/PATCH lines; the build, the packages, the
# DLL's version resource and the command-line tool take it from there.
# Read before project(), so this sets TAMSEL_HEADER_VERSION only.
file(STRINGS ${CMAKE_CURRENT_LIST_DIR}/../include/TamselCharts.h tamsel_version_lines
  REGEX "^#define TAMSELCHARTS_VERSION_(MAJOR|MINOR|PATCH) +[0-9]+ *$")
set(TAMSEL_HEADER_VERSION "")
foreach(part MAJOR MINOR PATCH)
  string(REGEX MATCH "TAMSELCHARTS_VERSION_${part} +([0-9]+)" matched "${tamsel_version_lines}")
  if(matched STREQUAL "")
    message(FATAL_ERROR "include/TamselCharts.h has no '#define TAMSELCHARTS_VERSION_${part} <number>' line")
  endif()
  list(APPEND TAMSEL_HEADER_VERSION ${CMAKE_MATCH_1})
endforeach()
list(JOIN TAMSEL_HEADER_VERSION . TAMSEL_HEADER_VERSION)
unset(tamsel_version_lines)
unset(matched)
