#!/usr/bin/env bash
# The main job: builds the launcher and shows update mode and crash mode working
# against real servers on loopback; then update mode of the Windows program under Wine.
# Installs what is missing first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/setup.sh"

build=${BUILD_DIR:-$repo/build}
cmake --preset linux -S "$repo" -B "$build" >/dev/null
cmake --build "$build"

bash "$repo/scripts/demo-update.sh" "$build"
bash "$repo/scripts/demo-crash.sh" "$build"

# The Windows programs: the test build's launcher.exe and its stand-in client updater.
windows=${WINDOWS_BUILD_DIR:-$repo/build-windows-tests}
printf '\n== Windows: building launcher.exe and the stand-in ClientUpdate.exe into %s\n' "$windows"
if BUILD_DIR=$windows bash "$repo/scripts/build-windows.sh" programs; then
  bash "$repo/scripts/demo-update-windows.sh" "$windows" "$build"
else
  echo "demo: the Windows part is skipped: the Windows build could not be made (see above)"
fi
