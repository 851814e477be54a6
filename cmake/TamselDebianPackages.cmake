# SPDX-License-Identifier: MIT
# Debian packages, one per install component, made by `cpack -G DEB` in a
# build configured with CMAKE_INSTALL_PREFIX=/usr:
#   libtamselcharts<major>  the shared library (component runtime)
#   libtamselcharts-dev     headers, static library, CMake package, pkg-config
#   tamsel                  the command-line tool, when it is built
# Each carries the licence as its copyright file.
set(TAMSEL_DEB_RUNTIME libtamselcharts${PROJECT_VERSION_MAJOR})
set(TAMSEL_DEB_DEVELOPMENT libtamselcharts-dev)
set(TAMSEL_DEB_TOOL tamsel)

set(tamsel_deb_components runtime development)
if(TAMSEL_BUILD_TOOLS)
  list(APPEND tamsel_deb_components tool)
endif()
foreach(component IN LISTS tamsel_deb_components)
  string(TOUPPER ${component} upper)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE RENAME copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${TAMSEL_DEB_${upper}} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME tamselcharts)
set(CPACK_PACKAGE_VENDOR "TamselCharts developers")
set(CPACK_PACKAGE_CONTACT "TamselCharts developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Four cycle-based indicators of a market's high/low price series")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_COMPONENTS_ALL ${tamsel_deb_components})
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${TAMSEL_DEB_RUNTIME})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "TamselCharts shared library
 The cycle period, signal-to-noise ratio, swing position and trend vigor of a
 market's high/low price series, through a plain C interface.")
# A shlibs file, so that packages built against the library depend on it,
# and the ldconfig trigger for the new SONAME.
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${TAMSEL_DEB_DEVELOPMENT})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${TAMSEL_DEB_RUNTIME} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "TamselCharts development files
 The C header, the header-only C++ wrapper (C++17 or later), the static
 library, a CMake package (find_package(TamselCharts)) and a pkg-config file
 (tamselcharts).")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${TAMSEL_DEB_TOOL})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "TamselCharts indicators of OHLC CSV files
 The tamsel command reads CSV files of daily (or any) bars and writes them
 back with the four TamselCharts indicators as extra columns.")

include(CPack)
