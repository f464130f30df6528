# Cross-compiling for 32-bit Windows; see mingw-w64-x86_64.cmake.
set(ZELVANO_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
