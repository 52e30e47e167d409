#!/usr/bin/env bash
# The main job: builds the launcher and shows update mode and crash mode working
# against real servers on loopback. Installs what is missing first.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/setup.sh"

build=${BUILD_DIR:-$repo/build}
cmake -S "$repo" -B "$build" -G Ninja >/dev/null
cmake --build "$build"

bash "$repo/scripts/demo-update.sh" "$build"
bash "$repo/scripts/demo-crash.sh" "$build"
