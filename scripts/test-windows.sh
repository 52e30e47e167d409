#!/usr/bin/env bash
# The Windows suite, for CI: builds build-windows-tests/ with the tests and their hooks
# and runs every test under Wine, headless (scripts/build-windows.sh test), builds the
# release programs into build-windows/ (RELEASE_DIR overrides), then checks that the
# programs of both are 32-bit (unless LAUNCHER_WINDOWS_ARCH says otherwise) and import
# Windows system DLLs only (the build links everything else statically). Exits non-zero
# when a step fails, a test fails or times out, no test ran, or a program is of another
# architecture or imports a DLL a Windows machine does not have.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-windows-tests}
release=${RELEASE_DIR:-$repo/build-windows}

BUILD_DIR=$build bash "$repo/scripts/build-windows.sh" test
# The programs as they ship; the Linux build's Wine tests see their message boxes.
BUILD_DIR=$release bash "$repo/scripts/build-windows.sh"

arch=${LAUNCHER_WINDOWS_ARCH:-i686}
bash "$repo/scripts/check_imports.sh" "$arch" {"$build","$release"}/{launcher,launcher-admin}.exe
echo "test-windows: the suite passed"
