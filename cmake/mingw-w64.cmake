# Cross build for Windows with Debian's MinGW-w64, run under wine: the part the
# toolchain files of both architectures share. They set LAUNCHER_MINGW_TRIPLET and
# CMAKE_SYSTEM_PROCESSOR and include this file.
#
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake \
#         -DLAUNCHER_WINDOWS_DEPS=<prefix printed by scripts/windows-deps.sh>
#
# LAUNCHER_WINDOWS_DEPS is the prefix holding the libraries Debian has no MinGW build
# of (libcurl, minizip, libsodium, googletest) and the static zlib, built for the same
# architecture; the environment variable of the same name is used when the cache
# variable is not given.

set(CMAKE_SYSTEM_NAME Windows)
if(NOT LAUNCHER_MINGW_TRIPLET)
  message(FATAL_ERROR "include mingw-w64.cmake from an architecture's toolchain file")
endif()
set(LAUNCHER_MINGW_SYSROOT /usr/${LAUNCHER_MINGW_TRIPLET})

# The -posix compilers: GCC 12's win32 thread model has no std::thread or std::mutex.
set(CMAKE_C_COMPILER ${LAUNCHER_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LAUNCHER_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${LAUNCHER_MINGW_TRIPLET}-windres)

if(NOT LAUNCHER_WINDOWS_DEPS AND DEFINED ENV{LAUNCHER_WINDOWS_DEPS})
  set(LAUNCHER_WINDOWS_DEPS "$ENV{LAUNCHER_WINDOWS_DEPS}")
endif()
if(NOT LAUNCHER_WINDOWS_DEPS OR NOT IS_DIRECTORY "${LAUNCHER_WINDOWS_DEPS}")
  message(FATAL_ERROR "LAUNCHER_WINDOWS_DEPS must name the Windows dependency prefix "
    "(run scripts/windows-deps.sh, which prints it); got '${LAUNCHER_WINDOWS_DEPS}'")
endif()
set(LAUNCHER_WINDOWS_DEPS "${LAUNCHER_WINDOWS_DEPS}" CACHE PATH
  "Prefix of the Windows dependencies built by scripts/windows-deps.sh")
# try_compile projects read this file again and need the prefix too.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LAUNCHER_WINDOWS_DEPS)

# Libraries, headers and packages come from MinGW's sysroot and the prefix only: glibc's
# headers in /usr/include would shadow MinGW's. Programs (pkg-config, wine) are the host's.
set(CMAKE_FIND_ROOT_PATH ${LAUNCHER_MINGW_SYSROOT} ${LAUNCHER_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config sees the prefix's .pc files first (its zlib.pc names the static libz.a,
# MinGW's own picks the DLL import library), then MinGW's, never the host's.
set(ENV{PKG_CONFIG_LIBDIR}
  "${LAUNCHER_WINDOWS_DEPS}/lib/pkgconfig:${LAUNCHER_MINGW_SYSROOT}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
unset(ENV{PKG_CONFIG_SYSROOT_DIR})

# The prefix's headers are system headers, as /usr/include is natively: SimpleIni's
# header trips -Wignored-qualifiers otherwise. GCC drops a -I for a folder that is also
# given with -isystem, so the include paths pkg-config adds stay system ones too.
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES ${LAUNCHER_WINDOWS_DEPS}/include)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${LAUNCHER_WINDOWS_DEPS}/include)

# Link everything statically (libstdc++, libgcc, winpthread and the dependencies), so
# a program imports Windows system DLLs only.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# ctest and gtest_discover_tests run the .exe files under wine, in a wine prefix of the
# build folder's own: by default a 64-bit Windows (a 32-bit program runs under WoW64, as
# on most players' machines) at code page 950, the players' Traditional Chinese system.
set(LAUNCHER_WINE_ARCH win64 CACHE STRING "Wine prefix of the tests: win64 or win32")
set(LAUNCHER_WINE_LOCALE zh_TW.UTF-8 CACHE STRING
  "Locale of the tests' Wine (zh_TW.UTF-8: code page 950; en_US.UTF-8: code page 1252)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LAUNCHER_WINE_ARCH LAUNCHER_WINE_LOCALE)
get_filename_component(LAUNCHER_WINE_RUN "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR
  "${LAUNCHER_WINE_RUN};--prefix;${CMAKE_BINARY_DIR}/wine-prefix;--arch;${LAUNCHER_WINE_ARCH};--locale;${LAUNCHER_WINE_LOCALE}")
