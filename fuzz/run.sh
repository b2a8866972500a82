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
echo "== replaying $(ls "$work/corpus" | wc -l) stored inputs"
"$build/fuzz/ini_fuzzer" -artifact_prefix="$work/" "$work"/corpus/* >"$work/replay.log" 2>&1 ||
  fail "$work/replay.log" "a stored input failed"
# The share-link decoder's inputs: the links of the share-link test, good and refused.
mkdir -p "$work/link-corpus"
grep -oE '[A-Za-z0-9_-]{100,}' "$root/tests/data/share_links.txt" |
  { n=0; while read -r link; do printf %s "$link" >"$work/link-corpus/link-$((++n))"; done; }
"$build/fuzz/link_fuzzer" -artifact_prefix="$work/link-" "$work"/link-corpus/* >"$work/link-replay.log" 2>&1 ||
  fail "$work/link-replay.log" "a stored link failed"
[ "$seconds" -gt 0 ] || exit 0
echo "== fuzzing for ${seconds}s"
timeout --kill-after=30 $((seconds + 120)) "$build/fuzz/ini_fuzzer" "$work/corpus" -max_total_time="$seconds" \
  -max_len=2048 -timeout=30 -dict="$fuzz/ini.dict" -artifact_prefix="$work/" -print_final_stats=1 \
  >"$work/fuzz.log" 2>&1 || fail "$work/fuzz.log" "fuzzing found a fault"
sed -n 's/^stat::\(number_of_executed_units\|average_exec_per_sec\): */\1 /p' "$work/fuzz.log"
echo "== fuzzing the share-link decoder for ${seconds}s"
timeout --kill-after=30 $((seconds + 120)) "$build/fuzz/link_fuzzer" "$work/link-corpus" -max_total_time="$seconds" \
  -max_len=256 -timeout=30 -artifact_prefix="$work/link-" -print_final_stats=1 \
  >"$work/link.log" 2>&1 || fail "$work/link.log" "fuzzing the share links found a fault"
sed -n 's/^stat::\(number_of_executed_units\|average_exec_per_sec\): */\1 /p' "$work/link.log"
