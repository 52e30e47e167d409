#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer, UndefinedBehaviorSanitizer,
# leak detection) and runs each for the given time, one after the other.
#   scripts/fuzz.sh [seconds] [target...]     (default: 600 seconds, every target)
#   scripts/fuzz.sh --seeds [target...]       each target once over its seeds (test.sh)
# FUZZ_JOBS targets run side by side (default 1).
# Targets are the fuzz/<name>_fuzzer.cpp files: zip_reader file_version ini_catalogue
# ftp_reply command_line. Crash, leak and time-out inputs land in
# $FUZZ_OUT/<target>/artifacts (FUZZ_OUT defaults to /tmp/launcher-fuzz); the inputs the
# fuzzer finds interesting grow in $FUZZ_OUT/<target>/corpus, beside the seeds, which
# are only read: fuzz/corpus/<target>, and for zip_reader the tests' zip corpus.
set -euo pipefail
repo=$(cd "$(dirname "$0")/.." && pwd)
seeds_only=false
if [ "${1:-}" = --seeds ]; then
  seeds_only=true
  shift
else
  seconds=${1:-600}
  shift || true
fi
bash "$repo/scripts/setup.sh"

build=${FUZZ_BUILD_DIR:-$repo/build-fuzz}
out=${FUZZ_OUT:-/tmp/launcher-fuzz}
# The fuzz preset (CMakePresets.json): clang, the targets only.
cmake --preset fuzz -S "$repo" -B "$build" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" --target fuzz_all

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$repo"/fuzz/*_fuzzer.cpp; do
    name=$(basename "$src" _fuzzer.cpp)
    targets+=("$name")
  done
fi


# Longest input per target: room for the structures each reader walks, small enough to
# keep every run fast.
max_len() {
  case $1 in
    zip_reader) echo 8192 ;;
    file_version) echo 4096 ;;
    ini_catalogue) echo 2048 ;;
    ftp_reply) echo 4096 ;;
    *) echo 1024 ;;
  esac
}

# The seed folders of a target.
seed_dirs() {
  [ -d "$repo/fuzz/corpus/$1" ] && echo "$repo/fuzz/corpus/$1"
  [ "$1" = zip_reader ] && echo "$repo/tests/corpus/zip"
  return 0
}

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
for target in "${targets[@]}"; do
  [ -x "$build/fuzz/fuzz_$target" ] || { echo "fuzz: no target $target" >&2; exit 2; }
done

if $seeds_only; then
  # The targets' seed runs are CTest tests (fuzz/CMakeLists.txt); a seed run keeps
  # nothing and replays no finds of earlier runs.
  filter=$(IFS='|'; echo "${targets[*]}")
  exec ctest --preset fuzz --test-dir "$build" -R "^fuzz\.($filter)\.seeds\$"
fi

run_target() {
  local target=$1 binary=$build/fuzz/fuzz_$1
  mkdir -p "$out/$target/corpus" "$out/$target/artifacts"
  local seeds=() options
  mapfile -t seeds < <(seed_dirs "$target")
  options=(-max_total_time="$seconds" -max_len="$(max_len "$target")")
  echo "fuzz: $target for ${seconds}s (log: $out/$target/log.txt)"
  # The targets' own output (debugger lines and the like) is closed off; libFuzzer
  # and the sanitizers still report.
  if nice -n 10 "$binary" "${options[@]}" \
      -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 -close_fd_mask=3 -print_final_stats=1 \
      -artifact_prefix="$out/$target/artifacts/" \
      "$out/$target/corpus" "${seeds[@]}" >"$out/$target/log.txt" 2>&1; then
    echo "fuzz: $target done: $(grep -E '^stat::(number_of_executed_units|average_exec_per_sec)' \
      "$out/$target/log.txt" | tr -s ' \n' ' ')"
  else
    echo "fuzz: $target FAILED, see $out/$target/log.txt and $out/$target/artifacts" >&2
    tail -n 30 "$out/$target/log.txt" >&2
    echo "$target" >>"$failures"
  fi
}

failures=$(mktemp)
trap 'rm -f "$failures"' EXIT
jobs_max=${FUZZ_JOBS:-1}
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$jobs_max" ]; do wait -n || true; done
  run_target "$target" &
done
wait
if [ -s "$failures" ]; then
  echo "fuzz: failures in $(tr '\n' ' ' <"$failures")" >&2
  exit 1
fi
