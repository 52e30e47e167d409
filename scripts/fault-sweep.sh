#!/usr/bin/env bash
# The whole fault sweep (README, "Failures injected at the platform seam"): update mode
# and crash mode of the Linux test build's launcher, failing every call of every kind in
# turn with every error the kind can give, and launcher.exe under Wine when BUILD_DIR is
# configured with a Windows test build; CI runs the short form inside the suite.
# Prints the injection points per kind and mode and the time. Builds BUILD_DIR first
# (default build-asan/, with the sanitizers). Exits non-zero when any run breaks a rule.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$repo/build-asan}
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$repo" -B "$build" -G Ninja -DLAUNCHER_SANITIZE=ON >/dev/null
fi
cmake --build "$build" --target launcher_tests
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
start=$(date +%s)
# Run in a PID namespace of the script's own (the tests' own re-run in one has a time
# limit that the whole sweep outlasts): the hand-over ends processes by name.
namespace=(unshare --pid --fork --mount-proc --kill-child)
[ "$(id -u)" -eq 0 ] || namespace+=(--map-root-user)
export LAUNCHER_TEST_OWN_PID_NAMESPACE=1
status=0
LAUNCHER_FAULT_SWEEP=whole "${namespace[@]}" "$build/launcher_tests" --gtest_filter='FaultSweep*' ||
  status=1
# launcher.exe under Wine, when this build runs the Windows test build's programs.
if grep -q '^LAUNCHER_WINDOWS_BUILD_DIR:PATH=.' "$build/CMakeCache.txt"; then
  cmake --build "$build" --target launcher_wine_tests
  LAUNCHER_FAULT_SWEEP=whole LAUNCHER_WINE_ARCH=win64 TZ=UTC0 \
    "${namespace[@]}" "$build/launcher_wine_tests" --gtest_filter='FaultSweep*' || status=1
fi
echo "fault-sweep: the whole sweep took $(($(date +%s) - start)) s"
exit $status
