# Sourced by the test scripts: a Wine prefix booted once and its server kept
# running, and a virtual X display for window tests.
#   wine_env_start   boots $PLIMBAR_WINEPREFIX, starts wineserver -p and
#                    Xvfb (unless a DISPLAY is given), exports DISPLAY
#   wine_env_stop    ends exactly what wine_env_start started
_wine_env_xvfb_pid=""

wine_env_start() {
  export WINEPREFIX="$PLIMBAR_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  if [ -z "${PLIMBAR_KEEP_DISPLAY:-}" ] || [ -z "${DISPLAY:-}" ]; then
    local n
    for n in $(seq 90 120); do
      [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
      Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
      _wine_env_xvfb_pid=$!
      local deadline=$((SECONDS + 20))
      while [ ! -e "/tmp/.X11-unix/X$n" ] && [ $SECONDS -lt $deadline ]; do sleep 0.1; done
      if [ -e "/tmp/.X11-unix/X$n" ]; then export DISPLAY=":$n"; break; fi
      kill "$_wine_env_xvfb_pid" 2>/dev/null || true
      _wine_env_xvfb_pid=""
    done
    [ -n "$_wine_env_xvfb_pid" ] || { echo "could not start Xvfb" >&2; return 1; }
  fi
  mkdir -p "$WINEPREFIX"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "booting the Wine prefix $WINEPREFIX ..."
    wine wineboot -i >/dev/null 2>&1 || true
  fi
  wineserver -w
  wineserver -p  # stays up (it detaches) until wine_env_stop
  # Start the prefix's services now, with no terminal or pipe of ours: a
  # service started by a test program would inherit its output pipe and keep
  # ctest waiting for the pipe to close.
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$_wine_env_xvfb_pid" ]; then
    kill "$_wine_env_xvfb_pid" 2>/dev/null || true
    wait "$_wine_env_xvfb_pid" 2>/dev/null || true
    _wine_env_xvfb_pid=""
  fi
}
