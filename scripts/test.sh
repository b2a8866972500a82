#!/usr/bin/env bash
# Sets up and runs every test of PlimbarMaker:
#   1. the native build: unit tests, command-line tests, benchmarks built;
#   2. the same unit tests built with AddressSanitizer and
#      UndefinedBehaviorSanitizer;
#   3. the 32-bit Windows build and its release zip, their tests run under
#      Wine (with a virtual X display for the program's window tests; the
#      zip is also unpacked into a fresh prefix and used end to end);
#   4. plimbar-render.exe under Wine against the native plimbar-render on
#      the example and test patches: the WAVs must be byte-identical;
#   5. the fuzz targets: stored inputs replayed, then PLIMBAR_FUZZ_SECONDS
#      (default 30) of fuzzing per target.
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
cmake -S "$root" -B "$build/asan" -DCMAKE_BUILD_TYPE=Debug -DPLIMBAR_BUILD_BENCHMARKS=OFF \
  -DPLIMBAR_SANITIZE=ON -DPLIMBAR_WERROR=ON >/dev/null
cmake --build "$build/asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$build/asan" --output-on-failure -j "$jobs" -LE slow

step "32-bit Windows build"
# One prefix for the whole run, booted once, with its server kept running so
# that every start of a program takes milliseconds, and a virtual display.
# The end-to-end tests use the same display and a prefix of their own.
export PLIMBAR_WINEPREFIX="$build/win32/wineprefix"
# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
wine_env_start
trap wine_env_stop EXIT
cmake -S "$root" -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_WERROR=ON \
  -DPLIMBAR_E2E_DISPLAY="$DISPLAY" -DPLIMBAR_E2E_WINEPREFIX="$build/win32/wine-e2e" >/dev/null
cmake --build "$build/win32" -j "$jobs"

step "Windows tests under Wine"
ctest --test-dir "$build/win32" --output-on-failure -j 2

step "native and Windows renders compared"
python3 "$root/tests/compare_renders.py" \
  --native "$build/native/cli/plimbar-render" \
  --windows "$build/win32/cli/plimbar-render.exe" \
  --wine "$root/cmake/wine-run.sh" \
  --work "$build/compare" \
  "$root"/examples/*.plb "$root"/tests/data/render/*.plb

step "fuzz targets"
PLIMBAR_FUZZ_BUILD_DIR="$build/fuzz" PLIMBAR_FUZZ_JOBS="$jobs" \
  "$root/fuzz/run.sh" "${PLIMBAR_FUZZ_SECONDS:-30}"

step "all tests passed"
