#!/usr/bin/env bash
# Builds the 32-bit Windows programs with MinGW-w64 (i686) into build-windows/, or with
# the tests into build-windows-tests/ (BUILD_DIR overrides; LAUNCHER_WINDOWS_ARCH=x86_64
# builds 64-bit programs instead; the test build is 64-bit by itself on a machine that
# runs no 32-bit x86 programs, see scripts/runs-32-bit.sh):
# installs what is missing, builds the dependencies once (they are cached, see
# scripts/windows-deps.sh), then configures and builds the project.
#
#   bash scripts/build-windows.sh           build (stripped, debug files beside: a release)
#   bash scripts/build-windows.sh release [CMAKE-ARGS]   the same, CMAKE-ARGS given to cmake
#   bash scripts/build-windows.sh test      build, then run the tests under wine
#   bash scripts/build-windows.sh programs  the test build's programs only (launcher.exe
#                                           with its test hooks, the stand-in updater
#                                           record_args.exe and its 64-bit twin
#                                           record_args64.exe, the dialog driver,
#                                           code_page.exe), which the Linux build's
#                                           Wine tests and the demonstration run; no
#                                           tests are run
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
# A plain build is a release build: no tests, so no test hooks in the programs
# (LAUNCHER_TEST_HOOKS). "test" and "programs" build with the tests and the hooks.
mode=${1:-}
[ $# -eq 0 ] || shift
case $mode in
  "" | release) tests=OFF release=ON preset=windows-release ;;
  test | programs) tests=ON release=OFF preset=windows-tests ;;
  *) echo "usage: build-windows.sh [test | programs | release [CMAKE-ARGS]]" >&2; exit 2 ;;
esac
if [ $release = ON ]; then
  # The same bytes from the same commit: its time for the PE time stamps (linker, strip
  # and objcopy read it). No ccache: it leaves the folder maps out of its keys and hands
  # out objects compiled with other maps or in other folders.
  SOURCE_DATE_EPOCH=${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || true)}
  if [ -n "$SOURCE_DATE_EPOCH" ]; then export SOURCE_DATE_EPOCH; else unset SOURCE_DATE_EPOCH; fi
  export TZ=UTC CCACHE_DISABLE=1
fi
# The release build and the test build keep folders of their own.
if [ $tests = ON ]; then
  build=${BUILD_DIR:-$repo/build-windows-tests}
else
  build=${BUILD_DIR:-$repo/build-windows}
fi

bash "$repo/scripts/setup.sh"

# The players' program is 32-bit. A machine that refuses 32-bit x86 programs cannot run
# it under Wine: there the programs built to be run (test, programs) are 64-bit, the
# same sources over the same Win32 backend; a release stays 32-bit.
arch=${LAUNCHER_WINDOWS_ARCH:-}
if [ -z "$arch" ]; then
  arch=i686
  if [ $tests = ON ] && ! bash "$repo/scripts/runs-32-bit.sh"; then
    arch=x86_64
    echo "build-windows: this machine cannot run the 32-bit programs under Wine; $build is built for x86_64" >&2
  fi
fi
export LAUNCHER_WINDOWS_ARCH=$arch
toolchain=$repo/cmake/mingw-w64-$arch.cmake
[ -f "$toolchain" ] || { echo "build-windows: no toolchain file for $arch" >&2; exit 2; }
deps=$(bash "$repo/scripts/windows-deps.sh")
echo "build-windows: dependencies in $deps"

# A folder configured with another toolchain (the other architecture) starts afresh:
# CMake keeps the compilers it found first.
if [ -f "$build/CMakeCache.txt" ] &&
  [ "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=//p' "$build/CMakeCache.txt")" != "$toolchain" ]; then
  echo "build-windows: $build was configured for another toolchain; configuring it anew"
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
# The configuration is the preset's (CMakePresets.json); the folder, the toolchain of the
# architecture and the dependency prefix are this machine's.
cmake --preset $preset -S "$repo" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DLAUNCHER_WINDOWS_DEPS="$deps" "$@" >/dev/null
if [ "$mode" = programs ]; then
  cmake --build "$build" -j"${JOBS:-2}" --target launcher launcher-admin record_args record_args64 \
    progress_dialog_controls code_page
else
  cmake --build "$build" -j"${JOBS:-2}"
fi
echo "build-windows: $build/launcher.exe and $build/launcher-admin.exe"

if [ "$mode" = test ]; then
  # CTest starts one Wine session (in the build folder's prefix) and the Linux peers for
  # the whole run and stops them after it (fixtures, CMakeLists.txt). Each test has its
  # own time-out; a run without tests is a failure (the preset says so).
  ctest --preset windows-tests --test-dir "$build"
fi
