#!/usr/bin/env bash
# Sets up and runs every test of PlimbarMaker:
#   1. the native build: unit tests, command-line tests, benchmarks built;
#   2. the unit tests built with clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer (the fuzz target of step 5 shares this build);
#   3. the Windows builds and their release zips: the whole Windows test set
#      runs under Wine on the build this machine can run (the 32-bit release
#      where 32-bit code runs, else the 64-bit build under wine64), with a
#      virtual X display for the program's window tests; its zip is also
#      unpacked into a fresh prefix and used end to end. The other build is
#      built and its zip checked (the 64-bit build's unit tests also run
#      where the 32-bit build runs);
#   4. plimbar-render.exe of each Windows build that runs here against the
#      native plimbar-render on the example and test patches: the WAVs must
#      be byte-identical;
#   5. the fuzz target: stored inputs replayed, then PLIMBAR_FUZZ_SECONDS
#      (default 30) of fuzzing.
# Build trees go to build/ (or $PLIMBAR_BUILD_ROOT). Exits non-zero on the
# first failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}
jobs=${PLIMBAR_JOBS:-$(nproc)}

"$root/scripts/setup-deps.sh"

step() { printf '\n=== %s (at %d s) ===\n' "$*" "$SECONDS"; }

step "native build and tests"
cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_WERROR=ON >/dev/null
cmake --build "$build/native" -j "$jobs"
ctest --test-dir "$build/native" --output-on-failure -j "$jobs"

step "sanitizer build (address, undefined) and tests"
# The options of fuzz/run.sh, which builds its target in this tree (step 5).
cmake -S "$root" -B "$build/asan" -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_SANITIZE=ON -DPLIMBAR_BUILD_FUZZERS=ON \
  -DPLIMBAR_BUILD_BENCHMARKS=OFF -DPLIMBAR_WERROR=ON >/dev/null
cmake --build "$build/asan" -j "$jobs" --target plimbar_unit_tests
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build/asan" --output-on-failure -j "$jobs"

# Which Windows build runs here: the 32-bit release where this machine runs
# 32-bit code, else the 64-bit build of the same sources.
# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
step "which Windows build runs here"
wine_env_choose
run=$PLIMBAR_WIN_BUILD other=$PLIMBAR_WIN_OTHER
windows_build() {  # windows_build KIND [cmake options...]
  local kind=$1
  shift
  cmake -S "$root" -B "$build/$kind" -DCMAKE_TOOLCHAIN_FILE="$(wine_env_toolchain "$kind")" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_WERROR=ON "$@" >/dev/null
  cmake --build "$build/$kind" -j "$jobs"
}

if [ "$run" = win64 ]; then
  step "32-bit Windows release build (built and checked, not run: see above)"
  windows_build win32 -DPLIMBAR_BUILD_TESTS=OFF
else
  step "64-bit Windows build"
  windows_build win64
fi

step "$run Windows build"
# One prefix for the whole run, booted once, with its server kept running so
# that every start of a program takes milliseconds, and a virtual display;
# the end-to-end scenarios use both (the release zip gets a fresh prefix and
# a display of its own).
export PLIMBAR_WINEPREFIX="$build/$run/wineprefix"
wine_env_start
trap wine_env_stop EXIT
other_zip=$(ls "$build/$other"/PlimbarMaker-*-"$other".zip)
windows_build "$run" -DPLIMBAR_COMPANION_ZIP="$other_zip" \
  -DPLIMBAR_E2E_DISPLAY="$DISPLAY" -DPLIMBAR_E2E_WINEPREFIX="$PLIMBAR_WINEPREFIX"

step "Windows tests under Wine, on the $run build"
# The scenarios mostly wait for Wine: three entries at a time keep both
# processors busy (the scenarios of one display run one after the other).
ctest --test-dir "$build/$run" --output-on-failure -j 3
windows_exes=("$build/$run/cli/plimbar-render.exe")
if [ "$run" = win32 ]; then
  step "unit tests of the 64-bit Windows build under Wine"
  ctest --test-dir "$build/win64" --output-on-failure -j 2 -L unit
  windows_exes+=("$build/win64/cli/plimbar-render.exe")
fi

step "native and Windows renders compared"
python3 "$root/tests/compare_renders.py" \
  --native "$build/native/cli/plimbar-render" \
  "${windows_exes[@]/#/--windows=}" \
  --wine "$root/cmake/wine-run.sh" \
  --work "$build/compare" --random 300 --seed "${PLIMBAR_COMPARE_SEED:-1}" \
  "$root"/examples/*.plb "$root"/tests/data/render/*.plb

step "fuzz target"
PLIMBAR_FUZZ_BUILD_DIR="$build/asan" PLIMBAR_FUZZ_JOBS="$jobs" \
  "$root/fuzz/run.sh" "${PLIMBAR_FUZZ_SECONDS:-30}"

step "all tests passed"
