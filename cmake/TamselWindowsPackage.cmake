# SPDX-License-Identifier: MIT
# The Windows distributable: TamselCharts-<version>-win32.zip (or -win64.zip)
# with the DLL, its import library, the header, the module-definition file, a
# note on calling the exports and the licence.  Built by the target "windows_zip".
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(TAMSEL_WINDOWS_FLAVOUR win32)
else()
  set(TAMSEL_WINDOWS_FLAVOUR win64)
endif()
set(TAMSEL_ZIP_NAME TamselCharts-${PROJECT_VERSION}-${TAMSEL_WINDOWS_FLAVOUR})
set(TAMSEL_ZIP_STAGE ${PROJECT_BINARY_DIR}/package/${TAMSEL_ZIP_NAME})
set(TAMSEL_ZIP_FILE ${PROJECT_BINARY_DIR}/${TAMSEL_ZIP_NAME}.zip)

add_custom_command(OUTPUT ${TAMSEL_ZIP_FILE}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${TAMSEL_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${TAMSEL_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:tamselcharts> $<TARGET_LINKER_FILE:tamselcharts>
          ${PROJECT_SOURCE_DIR}/include/TamselCharts.h ${PROJECT_SOURCE_DIR}/src/api/TamselCharts.def
          ${TAMSEL_ZIP_STAGE}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${TAMSEL_ZIP_STAGE}/README.txt
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/LICENSE ${TAMSEL_ZIP_STAGE}/LICENSE.txt
  COMMAND ${CMAKE_COMMAND} -E rm -f ${TAMSEL_ZIP_FILE}
  COMMAND ${CMAKE_COMMAND} -E chdir ${PROJECT_BINARY_DIR}/package
          ${CMAKE_COMMAND} -E tar cf ${TAMSEL_ZIP_FILE} --format=zip ${TAMSEL_ZIP_NAME}
  DEPENDS tamselcharts ${PROJECT_SOURCE_DIR}/include/TamselCharts.h ${PROJECT_SOURCE_DIR}/src/api/TamselCharts.def
          ${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${PROJECT_SOURCE_DIR}/LICENSE
  COMMENT "Packing ${TAMSEL_ZIP_NAME}.zip"
  VERBATIM)
add_custom_target(windows_zip ALL DEPENDS ${TAMSEL_ZIP_FILE})
