#!/usr/bin/env bash
# Sets up and runs every test of PlimbarMaker:
#   1. the native build: unit tests, command-line tests, benchmarks built;
#   2. the unit tests built with clang, AddressSanitizer and
#      UndefinedBehaviorSanitizer (the fuzz target of step 4 shares this build);
#   3. both Windows builds, whole and with their tests, and their release
#      zips: where this machine runs 32-bit code, the whole Windows test set
#      runs under Wine on both, the 32-bit release and the 64-bit build;
#      where it does not, on the 64-bit build under wine64, and the 32-bit
#      build gets its static checks (exports, zip contents) only. The set
#      includes the program's window tests on a virtual X display, and each
#      zip that runs is unpacked into a fresh prefix and used end to end;
#   4. the fuzz target: stored inputs replayed, then PLIMBAR_FUZZ_SECONDS
#      (default 30) of fuzzing;
#   5. the browser edition built with emscripten;
#   6. plimbar-render.exe of each Windows build that runs here, and the
#      browser edition's plimbar-render.js under Node.js, against the native
#      plimbar-render: every file they write must be the same bytes;
#   7. the page tested in Chromium and Firefox.
# Build trees go to build/ (or $PLIMBAR_BUILD_ROOT). Exits non-zero on the
# first failure.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}
jobs=${PLIMBAR_JOBS:-$(nproc)}

"$root/scripts/setup-deps.sh"

step() { printf '\n=== %s (at %d s) ===\n' "$*" "$SECONDS"; }

# Which Windows builds run here: both where this machine runs 32-bit code,
# else the 64-bit build alone (the 32-bit one is built and statically checked).
# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
step "which Windows builds run here"
wine_env_choose
run=$PLIMBAR_WIN_BUILD
if [ "$run" = win32 ]; then runs=(win32 win64); else runs=(win64); fi
version=$(sed -n 's/^project(PlimbarMaker VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")

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

windows_build() {  # windows_build KIND: the whole tree, tests included, beside the other zip
  local kind=$1 other=win32
  [ "$kind" = win32 ] && other=win64
  cmake -S "$root" -B "$build/$kind" -DCMAKE_TOOLCHAIN_FILE="$(wine_env_toolchain "$kind")" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_WERROR=ON \
    -DPLIMBAR_COMPANION_ZIP="$build/$other/PlimbarMaker-$version-$other.zip" \
    -DPLIMBAR_E2E_DISPLAY="$DISPLAY" -DPLIMBAR_E2E_WINEPREFIX="$PLIMBAR_WINEPREFIX" >/dev/null
  cmake --build "$build/$kind" -j "$jobs"
}

step "both Windows builds, tests included"
# One prefix for the whole run, booted once, with its server kept running so
# that every start of a program takes milliseconds, and a virtual display;
# the end-to-end scenarios use both (each release zip gets a fresh prefix and
# a display of its own).
export PLIMBAR_WINEPREFIX="$build/wineprefix-$run"
wine_env_start
trap wine_env_stop EXIT
windows_build win32
windows_build win64

if [ "$run" = win64 ]; then
  step "32-bit Windows build: static checks only"
  echo "The 32-bit tests are built and not run: this machine cannot run 32-bit programs (see the first lines)."
  ctest --test-dir "$build/win32" --output-on-failure -L static
fi
windows_exes=()
for kind in "${runs[@]}"; do
  step "Windows tests under Wine, on the $kind build"
  # The scenarios mostly wait for Wine: three entries at a time keep both
  # processors busy (the scenarios of one display run one after the other).
  ctest --test-dir "$build/$kind" --output-on-failure -j 3
  windows_exes+=("$build/$kind/cli/plimbar-render.exe")
done

step "one session, the same exports from the editor and the program"
rm -rf "$build/session-editor" && mkdir -p "$build/session-editor"
"$build/native/tests/session_replay" "$root/tests/data/session/every-kind.steps" "$build/session-editor"
program_sessions=()
for kind in "${runs[@]}"; do program_sessions+=("$build/$kind/tests/e2e/work/Session/session"); done
for dir in "${program_sessions[@]}"; do  # the program also wrote the table beside its exports
  diff -r -x table.txt "$build/session-editor" "$dir"
  echo "$dir: $(ls "$dir" | grep -c '\.wav$') exports identical"
done

step "fuzz target"
PLIMBAR_FUZZ_BUILD_DIR="$build/asan" PLIMBAR_FUZZ_JOBS="$jobs" \
  "$root/fuzz/run.sh" "${PLIMBAR_FUZZ_SECONDS:-30}"

step "browser edition built"
cmake -S "$root" -B "$build/web" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/emscripten.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DPLIMBAR_WERROR=ON >/dev/null
cmake --build "$build/web" -j "$jobs"
step "every build's plimbar-render against the native one"
python3 "$root/tests/compare_renders.py" --native "$build/native/cli/plimbar-render" \
  "${windows_exes[@]/#/--windows=}" --wine "$root/cmake/wine-run.sh" --node "$build/web/cli/plimbar-render.js" \
  --work "$build/compare" --random 300 --seed "${PLIMBAR_COMPARE_SEED:-1}" \
  "$root"/examples/*.plb "$root"/tests/data/render/*.plb
step "the page tested in Chromium and Firefox"
# Against the native renders, the native session, the program's window (when
# the end-to-end test left its picture) and itself.
(cd "$root/web" && npm ci --no-audit --no-fund --loglevel=error)
(cd "$root/web" && PLIMBAR_WEB_PAGE="$build/web/web/PlimbarMaker.html" PLIMBAR_RENDER="$build/native/cli/plimbar-render" \
  PLIMBAR_SESSION_REPLAY="$build/native/tests/session_replay" PLIMBAR_WEB_SESSION_OUT="$build/web/session" \
  PLIMBAR_PROGRAM_SHOTS="$build/win64/tests/e2e/work/StartUp" PLIMBAR_WEB_ARTIFACTS="$build/web/artifacts" \
  node --test test/*.test.mjs)
if [ -n "${PLIMBAR_WEB_BENCH:-}" ]; then  # figures only, never a failure
  (cd "$root/web" && PLIMBAR_WEB_PAGE="$build/web/web/PlimbarMaker.html" \
    PLIMBAR_RENDER_BENCH="$build/native/bench/render_bench" node bench/bench.mjs) || true
fi

step "all tests passed"
