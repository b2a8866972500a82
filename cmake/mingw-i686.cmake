# Cross build for 32-bit Windows (the release) with MinGW-w64.
set(PLIMBAR_MINGW_ARCH i686)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
