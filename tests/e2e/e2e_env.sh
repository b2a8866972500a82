#!/bin/sh
# Sets up and takes down what the end-to-end tests run in: a virtual X
# display and a Wine prefix with a wine server kept running between tests.
#
#   e2e_env.sh start STATE_DIR    start Xvfb (unless the display is up),
#                                 boot the prefix, keep its wine server
#   e2e_env.sh stop STATE_DIR     end the wine server and our Xvfb
#
# Environment: DISPLAY (":57"..., or "auto": a free display from :100 on,
# recorded in STATE_DIR/display for run_e2e.sh), PLIMBAR_WINEPREFIX,
# PLIMBAR_WINE_RUN (the wine wrapper script). Every wait is bounded.
set -u
cmd=${1:?start or stop}
state=${2:?state folder}
: "${DISPLAY:?DISPLAY must name the display to use, e.g. :57}"
: "${PLIMBAR_WINEPREFIX:?PLIMBAR_WINEPREFIX must name the Wine prefix}"
: "${PLIMBAR_WINE_RUN:?PLIMBAR_WINE_RUN must name cmake/wine-run.sh}"
export WINEPREFIX="$PLIMBAR_WINEPREFIX"
num=${DISPLAY#:}
num=${num%%.*}
socket=/tmp/.X11-unix/X$num
mkdir -p "$state"

case "$cmd" in
start)
  if [ "$DISPLAY" = auto ]; then
    # The first display number that nobody holds.
    num=100
    while [ -e "/tmp/.X11-unix/X$num" ] || [ -e "/tmp/.X$num-lock" ]; do
      num=$((num + 1))
      if [ $num -gt 199 ]; then
        echo "no free X display between :100 and :199" >&2
        exit 1
      fi
    done
    DISPLAY=":$num"
    socket=/tmp/.X11-unix/X$num
    echo "$DISPLAY" >"$state/display"
  fi
  if [ -S "$socket" ]; then
    echo "display $DISPLAY is up; using it"
  else
    if ! command -v Xvfb >/dev/null 2>&1; then
      echo "Xvfb is not installed (Debian package xvfb)" >&2
      exit 1
    fi
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp </dev/null >"$state/xvfb.log" 2>&1 &
    echo $! >"$state/xvfb.pid"
    i=0
    while [ ! -S "$socket" ]; do
      i=$((i + 1))
      if [ $i -gt 150 ]; then
        echo "Xvfb did not come up on $DISPLAY" >&2
        cat "$state/xvfb.log" >&2
        exit 1
      fi
      sleep 0.1
    done
    echo "started Xvfb on $DISPLAY (pid $(cat "$state/xvfb.pid"))"
  fi
  # Make the prefix (first use only) and keep one wine server for the run:
  # every wine start then takes milliseconds instead of seconds.
  timeout 300 "$PLIMBAR_WINE_RUN" cmd /c exit 0 </dev/null >/dev/null 2>&1 || {
    echo "could not boot the Wine prefix $WINEPREFIX" >&2
    exit 1
  }
  timeout 60 wineserver -w
  # The server outlives this script: it must not hold ctest's output pipe.
  wineserver -p </dev/null >/dev/null 2>&1
  echo "wine prefix $WINEPREFIX ready"
  ;;
stop)
  timeout 30 wineserver -k 2>/dev/null
  timeout 30 wineserver -w 2>/dev/null
  if [ -f "$state/xvfb.pid" ]; then
    kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    rm -f "$state/xvfb.pid"
  fi
  echo "stopped"
  ;;
*)
  echo "usage: $0 start|stop STATE_DIR" >&2
  exit 2
  ;;
esac
exit 0
