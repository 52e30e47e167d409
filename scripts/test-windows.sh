#!/usr/bin/env bash
# The Windows suite, for CI: builds build-windows-tests/ with the tests and their hooks
# and runs every test under Wine, headless (scripts/build-windows.sh test), builds the
# release programs into build-windows/ (RELEASE_DIR overrides), then checks that the
# release programs are 32-bit (unless LAUNCHER_WINDOWS_ARCH says otherwise), those of
# both builds of their toolchain's architecture, and that they import
# Windows system DLLs only (the build links everything else statically). Exits non-zero
# when a step fails, a test fails or times out, no test ran, or a program is of another
# architecture or imports a DLL a Windows machine does not have, or when a release
# program holds a test hook.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows-tests}
release=${RELEASE_DIR:-$repo/build-windows}

BUILD_DIR=$build bash "$repo/scripts/build-windows.sh" test
# The programs as they ship; the Linux build's Wine tests see their message boxes.
BUILD_DIR=$release bash "$repo/scripts/build-windows.sh"

# Each build's architecture is the one its toolchain file names (the test build is 64-bit
# on a machine that runs no 32-bit programs, scripts/build-windows.sh).
arch_of() { sed -n 's/^CMAKE_TOOLCHAIN_FILE:[A-Z]*=.*mingw-w64-\([a-z0-9_]*\)\.cmake$/\1/p' "$1/CMakeCache.txt"; }
for dir in "$build" "$release"; do
  bash "$repo/scripts/check_imports.sh" "$(arch_of "$dir")" "$dir"/{launcher,launcher-admin}.exe
done
release_arch=$(arch_of "$release")
if [ "$release_arch" != "${LAUNCHER_WINDOWS_ARCH:-i686}" ]; then
  echo "test-windows: the release is $release_arch, not ${LAUNCHER_WINDOWS_ARCH:-i686}" >&2
  exit 1
fi
# The test hooks (message boxes answered, failures injected) are the test build's alone:
# their variables' names are in its launcher.exe and in no release program.
status=0
for hook in LAUNCHER_TEST_MESSAGE_LOG LAUNCHER_TEST_DEBUG_LOG LAUNCHER_TEST_FAULT LAUNCHER_TEST_FAULT_COUNTS; do
  if ! grep -qaF "$hook" "$build/launcher.exe"; then
    echo "test-windows: $build/launcher.exe lacks the test hook $hook (is the check still sound?)" >&2
    status=1
  fi
  for program in "$release"/{launcher,launcher-admin}.exe; do
    if grep -qaF "$hook" "$program"; then
      echo "test-windows: the release program $program holds the test hook $hook" >&2
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "test-windows: the suite passed; the release has no test hooks"
exit $status
