#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, ASan, UBSan) in $PLIMBAR_FUZZ_BUILD_DIR (default build-fuzz;
# $PLIMBAR_FUZZ_JOBS jobs, default 2), replays the stored inputs, then fuzzes for SECONDS (default 60;
# 0: replay only). A failing input is kept in the build directory: add it to fuzz/corpus/ with the fix.
set -euo pipefail
fuzz=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$fuzz")
seconds=${1:-60}
build=${PLIMBAR_FUZZ_BUILD_DIR:-$root/build-fuzz}
[[ $seconds =~ ^[0-9]+$ ]] || { echo "usage: $0 [SECONDS]" >&2; exit 2; }
cmake -S "$root" -B "$build" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_SANITIZE=ON -DPLIMBAR_BUILD_FUZZERS=ON \
  -DPLIMBAR_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build" --target ini_fuzzer link_fuzzer -j "${PLIMBAR_FUZZ_JOBS:-2}"
work=$build/fuzz-work
rm -rf "$work" && mkdir -p "$work/corpus"
cp "$fuzz"/corpus/* "$root"/examples/*.plb "$root"/tests/data/render/*.plb "$work/corpus/"
# A small quarantine and no filling of new blocks: an input makes some 140 readings.
export ASAN_OPTIONS=${ASAN_OPTIONS:-abort_on_error=1:quarantine_size_mb=16:max_malloc_fill_size=0}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
fail() {
  grep -E "property failed|ERROR|runtime error|SUMMARY|Test unit written" "$1" | head -n 20 >&2
  echo "fuzz: $2; log: $1" >&2
  exit 1
}
# The share-link decoder's inputs: the links of the share-link test, good and refused.
mkdir -p "$work/link-corpus"
grep -oE '[A-Za-z0-9_-]{100,}' "$root/tests/data/share_links.txt" |
  { n=0; while read -r link; do printf %s "$link" >"$work/link-corpus/link-$((++n))"; done; }
# run TARGET CORPUS WHAT [OPTIONS...]: the stored inputs replayed, then SECONDS of fuzzing from them.
run() {
  local target=$1 corpus=$2 what=$3 log=$work/$1
  shift 3
  echo "== $what: replaying $(ls "$corpus" | wc -l) stored inputs"
  "$build/fuzz/$target" -artifact_prefix="$log-" "$corpus"/* >"$log-replay.log" 2>&1 ||
    fail "$log-replay.log" "a stored input failed"
  [ "$seconds" -gt 0 ] || return 0
  echo "== $what: fuzzing for ${seconds}s"
  timeout --kill-after=30 $((seconds + 120)) "$build/fuzz/$target" "$corpus" -max_total_time="$seconds" -timeout=30 \
    -artifact_prefix="$log-" -print_final_stats=1 "$@" >"$log.log" 2>&1 || fail "$log.log" "fuzzing found a fault"
  sed -n 's/^stat::\(number_of_executed_units\|average_exec_per_sec\): */\1 /p' "$log.log"
}
run ini_fuzzer "$work/corpus" "INI reader" -max_len=2048 -dict="$fuzz/ini.dict"
run link_fuzzer "$work/link-corpus" "share-link decoder" -max_len=256
