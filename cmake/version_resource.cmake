# Brisko.exe's version information and manifest, both carrying the project version.
configure_file(${CMAKE_SOURCE_DIR}/res/brisko.manifest.in ${CMAKE_BINARY_DIR}/res/brisko.manifest @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/res/version.rc.in ${CMAKE_BINARY_DIR}/res/version.rc @ONLY)
set(BRISKO_VERSION_RC ${CMAKE_BINARY_DIR}/res/version.rc)
