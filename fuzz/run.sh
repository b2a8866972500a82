#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer), replays the stored corpus and regression
# inputs through each, then fuzzes each target for a fixed time.
#
#   fuzz/run.sh [SECONDS_PER_TARGET] [TARGET...]
#
# SECONDS_PER_TARGET defaults to 60; 0 only builds and replays. TARGETs
# default to every target that was built. Environment:
#   PLIMBAR_FUZZ_BUILD_DIR  build directory (default: build-fuzz in the repo)
#   PLIMBAR_FUZZ_JOBS       parallel build jobs (default 2)
#   PLIMBAR_FUZZ_MAX_LEN    longest input when fuzzing (default 8192)
#
# Fuzzing works on a fresh copy of the corpus inside the build directory;
# nothing is written into the repository. Exits non-zero when the build
# fails, a stored input fails on replay, or fuzzing finds a crash, a leak,
# a timeout or a failed property check; the failing input is then kept in
# the build directory and its path printed: copy it into
# fuzz/regressions/<target>/ once the fault is fixed.
set -euo pipefail

FUZZ_DIR="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
ROOT="$(dirname "$FUZZ_DIR")"
SECONDS_PER_TARGET="${1:-60}"
shift || true
BUILD="${PLIMBAR_FUZZ_BUILD_DIR:-$ROOT/build-fuzz}"
JOBS="${PLIMBAR_FUZZ_JOBS:-2}"
MAX_LEN="${PLIMBAR_FUZZ_MAX_LEN:-8192}"

if ! [[ "$SECONDS_PER_TARGET" =~ ^[0-9]+$ ]]; then
  echo "usage: $0 [SECONDS_PER_TARGET] [TARGET...]" >&2
  exit 2
fi
for tool in clang clang++ cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "fuzz: $tool not found (Debian: clang libclang-rt-14-dev cmake)" >&2
    exit 2
  fi
done

# --- build ----------------------------------------------------------------
echo "== configure and build in $BUILD"
cmake -S "$ROOT" -B "$BUILD" \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DPLIMBAR_BUILD_FUZZERS=ON -DPLIMBAR_BUILD_TESTS=OFF \
  -DPLIMBAR_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$BUILD" --target plimbar_fuzzers -j "$JOBS"

BIN="$BUILD/fuzz"
if [ "$#" -gt 0 ]; then
  TARGETS=("$@")
else
  TARGETS=()
  for t in patch_reader settings_reader file_names; do
    [ -x "$BIN/$t" ] && TARGETS+=("$t")
  done
fi

# Inputs stored in the repository for a target: its seed corpus, its
# regression files, and for the INI readers the example and test patches.
stored_inputs() {
  local t="$1"
  find "$FUZZ_DIR/corpus/$t" "$FUZZ_DIR/regressions/$t" -type f \
    ! -name '.*' ! -name 'README*' 2>/dev/null
  case "$t" in
    patch_reader|settings_reader)
      find "$ROOT/examples" "$ROOT/tests/data" -type f -name '*.plb' \
        2>/dev/null
      ;;
  esac
}

dict_for() {
  case "$1" in
    file_names) echo "$FUZZ_DIR/dict/file_names.dict" ;;
    *) echo "$FUZZ_DIR/dict/ini.dict" ;;
  esac
}

# Sanitizer settings: stop at the first error, report leaks, and keep
# symbolised stacks.
export ASAN_OPTIONS="${ASAN_OPTIONS:-abort_on_error=1:detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"

WORK="$BUILD/fuzz-work"
declare -A REPLAYED STATUS EXECS SECS CORPUS
FAILED=0

for t in "${TARGETS[@]}"; do
  exe="$BIN/$t"
  if [ ! -x "$exe" ]; then
    echo "fuzz: no target $t in $BIN" >&2
    STATUS[$t]="missing"
    FAILED=1
    continue
  fi
  dir="$WORK/$t"
  rm -rf "$dir"
  mkdir -p "$dir/corpus" "$dir/artifacts"

  # --- replay -------------------------------------------------------------
  mapfile -d '' inputs < <(stored_inputs "$t" | sort | tr '\n' '\0')
  REPLAYED[$t]=${#inputs[@]}
  echo "== $t: replaying ${#inputs[@]} stored inputs"
  if [ "${#inputs[@]}" -gt 0 ]; then
    if ! printf '%s\0' "${inputs[@]}" |
        xargs -0 -n 200 "$exe" -artifact_prefix="$dir/artifacts/" \
          >"$dir/replay.log" 2>&1; then
      echo "fuzz: $t FAILED on a stored input; log: $dir/replay.log" >&2
      grep -E "^Running:|property failed|ERROR:|runtime error|SUMMARY" \
        "$dir/replay.log" | tail -n 20 >&2 || true
      STATUS[$t]="replay failed"
      FAILED=1
      continue
    fi
  fi

  if [ "$SECONDS_PER_TARGET" -eq 0 ]; then
    STATUS[$t]="replayed"
    continue
  fi

  # --- fuzz ---------------------------------------------------------------
  # A fresh copy of the stored inputs is the starting corpus; new inputs
  # stay in the build directory.
  i=0
  for f in "${inputs[@]}"; do
    cp "$f" "$dir/corpus/seed-$i"
    i=$((i + 1))
  done
  echo "== $t: fuzzing for ${SECONDS_PER_TARGET}s"
  start=$(date +%s)
  set +e
  # libFuzzer stops itself after max_total_time; the outer timeout only
  # guards against a hang that it cannot interrupt.
  timeout --kill-after=30 $((SECONDS_PER_TARGET + 120)) \
    "$exe" "$dir/corpus" \
      -max_total_time="$SECONDS_PER_TARGET" \
      -max_len="$MAX_LEN" \
      -timeout=30 \
      -rss_limit_mb=4096 \
      -dict="$(dict_for "$t")" \
      -artifact_prefix="$dir/artifacts/" \
      -print_final_stats=1 \
      >"$dir/fuzz.log" 2>&1
  rc=$?
  set -e
  SECS[$t]=$(( $(date +%s) - start ))
  EXECS[$t]=$(sed -n 's/^stat::number_of_executed_units: *//p' \
    "$dir/fuzz.log" | tail -n 1)
  CORPUS[$t]=$(find "$dir/corpus" -type f | wc -l)
  if [ "$rc" -ne 0 ]; then
    STATUS[$t]="FAILED (exit $rc)"
    FAILED=1
    echo "fuzz: $t FAILED (exit $rc); log: $dir/fuzz.log" >&2
    grep -E "property failed|ERROR:|runtime error|SUMMARY|Test unit written" \
      "$dir/fuzz.log" | head -n 20 >&2 || true
    for a in "$dir"/artifacts/*; do
      [ -e "$a" ] && echo "fuzz: failing input kept: $a" >&2
    done
  else
    STATUS[$t]="ok"
  fi
done

# --- summary --------------------------------------------------------------
echo
echo "== fuzz summary (${SECONDS_PER_TARGET}s per target)"
printf '%-16s %-18s %9s %12s %8s %8s\n' target status replayed executions seconds corpus
for t in "${TARGETS[@]}"; do
  printf '%-16s %-18s %9s %12s %8s %8s\n' "$t" "${STATUS[$t]:-?}" \
    "${REPLAYED[$t]:--}" "${EXECS[$t]:--}" "${SECS[$t]:--}" "${CORPUS[$t]:--}"
done
exit "$FAILED"
