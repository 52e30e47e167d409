#!/usr/bin/env bash
# Both platforms: builds the Windows test build (MinGW) and runs its suite under Wine;
# builds the release and checks it (reproducible, stripped, signed with a throwaway CA);
# builds everything for Linux with AddressSanitizer and UndefinedBehaviorSanitizer and
# runs every test, the Wine end-to-end tests of the Windows programs among them; then
# builds the fuzz targets with clang and runs each over its seeds. Installs what is
# missing first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/setup.sh"

# The Windows suite under Wine, the release build and the import check
# (scripts/test-windows.sh). The test build has its own folder: build-windows/ stays
# the release build.
windows=${WINDOWS_BUILD_DIR:-$repo/build-windows-tests}
release=${WINDOWS_RELEASE_DIR:-$repo/build-windows}
BUILD_DIR=$windows RELEASE_DIR=$release bash "$repo/scripts/test-windows.sh"

# The release (scripts/test-release.sh): the release build above packed by release.sh,
# built once more elsewhere for the same bytes, signed with a throwaway CA.
BUILD_DIR=$release bash "$repo/scripts/test-release.sh"

# Linux with the sanitizers (the linux-asan preset, CMakePresets.json). Its tests
# include the checks of the tree (label lint): formatting, source lists, layering,
# the scripts' lint and the Windows programs' imports.
build=${BUILD_DIR:-$repo/build-asan}
cmake --preset linux-asan -S "$repo" -B "$build" \
  -DLAUNCHER_WINDOWS_BUILD_DIR="$windows" -DLAUNCHER_WINDOWS_RELEASE_DIR="$release" >/dev/null
cmake --build "$build"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
ctest --test-dir "$build" -j2 --output-on-failure

# The fuzz targets still build and pass their seeds (build-fuzz/, clang).
unset ASAN_OPTIONS UBSAN_OPTIONS
bash "$repo/scripts/fuzz.sh" --seeds
