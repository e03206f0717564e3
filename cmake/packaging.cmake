# The packages, built with `cmake --build BUILD --target package` (scripts/package): a portable ZIP and
# an NSIS installer, both holding Brisko.exe, the README and the licence, with SHA256SUMS beside them.
# The release packages come from the i686 tree; an x86_64 tree makes 64-bit ones, for testing under
# 64-bit Wine on hosts that run no 32-bit code. One installer script serves both.
# Packaging needs Brisko.exe only, not the tests: scripts/package builds it first.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)
install(TARGETS Brisko RUNTIME DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION . RENAME README.txt)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(BRISKO_PACKAGE_PLATFORM win64)
else()
  set(BRISKO_PACKAGE_PLATFORM win32)
endif()
set(BRISKO_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packages)
set(BRISKO_PACKAGE_BASE Brisko-${PROJECT_VERSION}-${BRISKO_PACKAGE_PLATFORM})

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME Brisko)
set(CPACK_PACKAGE_VENDOR "Brisko developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Brisko privacy cleaner")
set(CPACK_PACKAGE_DIRECTORY ${BRISKO_PACKAGE_DIR})
set(CPACK_PACKAGE_FILE_NAME ${BRISKO_PACKAGE_BASE})
set(CPACK_PACKAGE_INSTALL_DIRECTORY Brisko)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
# The ZIP opens straight onto its three files.
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
# Our own installer script (cmake/nsis/NSIS.template.in); the architecture picks its target and views.
set(CPACK_MODULE_PATH ${CMAKE_SOURCE_DIR}/cmake/nsis)
set(CPACK_BRISKO_ARCH ${CMAKE_SYSTEM_PROCESSOR})
set(CPACK_BRISKO_ICON ${CMAKE_SOURCE_DIR}/res/brisko.ico)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_SOURCE_DIR}/cmake/nsis/generator_names.cmake)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_SOURCE_DIR}/cmake/nsis/sha256sums.cmake)
include(CPack)
