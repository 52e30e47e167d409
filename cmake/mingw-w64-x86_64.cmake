# Cross build for 64-bit Windows (by hand only; the shipped program is 32-bit, see
# mingw-w64-i686.cmake). See mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LAUNCHER_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
