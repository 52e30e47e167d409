#!/usr/bin/env bash
# Runs benchmarks of this tree and of an older commit one after the other, so that the
# two sets of figures come from the same machine at the same time. The benchmark
# programs of this tree are built against both trees (they use only interfaces that
# both have); each run is headed by the machine's load average.
# Usage: scripts/bench-compare.sh BASE_COMMIT [BENCHMARK...]
#        (default benchmarks: ftp_upload deep_folder hand_over; arguments for one go
#        after a colon, e.g. "deep_folder:250 500 1000 2100")
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
base=${1:?usage: $0 BASE_COMMIT [BENCHMARK...]}
shift
benchmarks=("$@")
[ ${#benchmarks[@]} -gt 0 ] || benchmarks=(ftp_upload deep_folder hand_over)

work=$(mktemp -d)
git -C "$repo" worktree add --detach -q "$work/base" "$base"
trap 'git -C "$repo" worktree remove --force "$work/base"; rm -rf "$work"' EXIT

# The older tree gets this tree's benchmark programs, their list in CMakeLists.txt and
# the presets.
cp "$repo"/bench/*.cpp "$repo"/bench/*.h "$work/base/bench/"
cp "$repo/CMakePresets.json" "$work/base/"
python3 - "$repo/CMakeLists.txt" "$work/base/CMakeLists.txt" <<'EOF'
import re, sys
pattern = re.compile(r"set\(BENCH_SOURCES\n.*?\n  \)", re.S)
ours = pattern.search(open(sys.argv[1]).read()).group(0)
path = sys.argv[2]
theirs = open(path).read()
open(path, "w").write(pattern.sub(lambda _: ours, theirs, count=1))
EOF

targets=()
for benchmark in "${benchmarks[@]}"; do targets+=("bench_${benchmark%%:*}"); done
for tree in "$work/base" "$repo"; do
    cmake --preset linux-bench -S "$tree" -B "$tree/build-bench" >/dev/null
    cmake --build "$tree/build-bench" -j2 --target "${targets[@]}" >/dev/null
done

for benchmark in "${benchmarks[@]}"; do
    name=${benchmark%%:*}
    arguments=()
    [ "$name" = "$benchmark" ] || read -r -a arguments <<<"${benchmark#*:}"
    for label in before after; do
        tree=$work/base
        [ $label = before ] || tree=$repo
        echo "== $name, $label ($(git -C "$tree" rev-parse --short HEAD)), load average $(cut -d' ' -f1-3 /proc/loadavg)"
        "$tree/build-bench/bench_$name" "${arguments[@]}"
    done
done
