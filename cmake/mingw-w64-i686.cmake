# Cross build for 32-bit Windows, the program the players run (also on 64-bit
# Windows, under WoW64). See mingw-w64.cmake.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LAUNCHER_MINGW_TRIPLET i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
