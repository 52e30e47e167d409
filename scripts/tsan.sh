#!/usr/bin/env bash
# Builds the tests with ThreadSanitizer and runs the ones where threads meet: the
# worker thread, calls onto the main thread, the progress dialog (also under a real
# display when Xvfb is there), downloads and the patch step. Not part of CI: a
# ThreadSanitizer build is slow and is run by hand after changes to that code.
#   scripts/tsan.sh [ctest regular expression]
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
bash "$repo/scripts/setup.sh"

build=${BUILD_DIR:-$repo/build-tsan}
filter=${1:-'ThreadTest|ProgressDialog|DownloadTest|PatchStepTest|UpdateModeTest|VersionCheckTest|FtpReply'}
cmake --preset linux-tsan -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j "${JOBS:-2}"
# Any report fails the test that caused it; children (the built programs) inherit this.
# The suppressions name system libraries only, never our code.
export TSAN_OPTIONS=${TSAN_OPTIONS:-halt_on_error=1:second_deadlock_stack=1:suppressions=$repo/scripts/tsan-suppressions.txt}
ctest --test-dir "$build" -j2 --output-on-failure -R "$filter"
