#!/bin/sh
# What the end-to-end tests run in; ends only what it started itself.
#   start STATE  display $DISPLAY (started unless up; "auto": a free one, kept in STATE) and
#                prefix $PLIMBAR_WINEPREFIX (new with PLIMBAR_E2E_FRESH), its server kept up
#   stop STATE
#   run DIR CMD  CMD in a new DIR, also its HOME, playing into DIR/capture.wav; output to DIR.log
set -u
export WINEPREFIX="${PLIMBAR_WINEPREFIX:?}"
[ "$DISPLAY" = auto ] && [ "$1" != start ] && DISPLAY=$(cat "$PLIMBAR_E2E_STATE/display")
wine_run=$(dirname "$0")/../../cmake/wine-run.sh
case $1 in
start)
  mkdir -p "$2"
  n=100
  while [ "$DISPLAY" = auto ] && { [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ]; }; do n=$((n + 1)); done
  [ "$DISPLAY" = auto ] && DISPLAY=:$n && echo $DISPLAY >"$2/display"
  socket=/tmp/.X11-unix/X${DISPLAY#:}
  if [ ! -S "$socket" ]; then
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    echo $! >"$2/xvfb.pid"
    timeout 20 sh -c "while [ ! -S $socket ]; do sleep 0.1; done" || exit 1
  fi
  [ -n "${PLIMBAR_E2E_FRESH:-}" ] && { wineserver -k 2>/dev/null; rm -rf "$WINEPREFIX"; }
  mkdir -p "$WINEPREFIX"
  if ! wineserver -k0 2>/dev/null; then
    timeout 300 "$wine_run" cmd /c exit </dev/null >/dev/null 2>&1 && timeout 60 wineserver -w || exit 1
    wineserver -p </dev/null >/dev/null 2>&1
    touch "$2/server"
  fi
  # No window manager: else Wine waits 2 s for one at every hidden window.
  "$wine_run" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f </dev/null >/dev/null 2>&1
  ;;
stop)
  [ -f "$2/server" ] && timeout 30 wineserver -k
  [ -f "$2/xvfb.pid" ] && kill "$(cat "$2/xvfb.pid")"
  rm -f "$2/server" "$2/xvfb.pid"
  ;;
run)
  dir=$2
  shift 2
  rm -rf "$dir" && mkdir -p "$dir" || exit 1
  printf 'pcm.!default { type file; slave.pcm "null"; file "%s/capture.wav"; format "wav" }\n' "$dir" >"$dir/.asoundrc"
  HOME=$dir "$@" </dev/null >"$dir.log" 2>&1
  rc=$?; cat "$dir.log"; exit $rc
  ;;
esac
