#!/bin/sh
# Runs the end-to-end test program under Wine with its output going to a
# file, then shows the file. Wine's helper processes (services, desktop)
# started by the first test outlive it while the wine server is kept; they
# must not hold ctest's output pipe, or ctest waits for them.
#   run_e2e.sh LOG WINE_RUN TEST_EXE [ARGS...]
# With DISPLAY=auto the display is the one e2e_env.sh chose, recorded in
# $PLIMBAR_E2E_STATE/display.
log=$1
shift
if [ "${DISPLAY:-}" = auto ]; then
  DISPLAY=$(cat "${PLIMBAR_E2E_STATE:?PLIMBAR_E2E_STATE must name the state folder}/display") || exit 1
  export DISPLAY
fi
"$@" </dev/null >"$log" 2>&1
rc=$?
cat "$log"
exit $rc
