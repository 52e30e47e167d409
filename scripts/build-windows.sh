#!/usr/bin/env bash
# Builds the Windows programs with MinGW-w64 into build-windows/ (BUILD_DIR overrides):
# installs what is missing, builds the dependencies once (they are cached, see
# scripts/windows-deps.sh), then configures and builds the project.
#
#   bash scripts/build-windows.sh          build
#   bash scripts/build-windows.sh test     build, then run the tests under wine
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows}

bash "$repo/scripts/setup.sh"
deps=$(bash "$repo/scripts/windows-deps.sh")
echo "build-windows: dependencies in $deps"

# A plain build is a release build: no tests, so no test hooks in the programs
# (LAUNCHER_TEST_HOOKS). "test" builds the suite and the hooks.
tests=OFF
[ "${1:-}" = test ] && tests=ON
cmake -S "$repo" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
  -DLAUNCHER_WINDOWS_DEPS="$deps" \
  -DLAUNCHER_TESTS=$tests -DLAUNCHER_TEST_HOOKS=$tests -DLAUNCHER_BENCH=OFF >/dev/null
cmake --build "$build" -j"${JOBS:-2}"
echo "build-windows: $build/launcher.exe and $build/launcher-admin.exe"

if [ "${1:-}" = test ]; then
  # One wineserver and one set of wine services for the whole run, detached from
  # ctest's pipes (see scripts/wine-run.sh); the prefix lives in the build folder.
  wine_run=("$repo/scripts/wine-run.sh" --prefix "$build/wine-prefix")
  "${wine_run[@]}" start
  trap '"${wine_run[@]}" stop' EXIT
  # Each test has its own time-out (CMakeLists.txt); a run without tests is a failure.
  ctest --test-dir "$build" -j2 --output-on-failure --no-tests=error
fi
