# Sourced by the scripts: which Windows build this machine runs, a Wine
# prefix booted once and its server kept running, and a virtual X display
# for window tests.
#   wine_env_choose  finds out once whether 32-bit programs run here (by
#                    starting one), prints one line saying which Windows
#                    build is used and why, and exports PLIMBAR_WIN_BUILD
#                    (win32 or win64), PLIMBAR_WIN_OTHER (the other one)
#                    and PLIMBAR_WINE (the Wine loader)
#   wine_env_start   boots $PLIMBAR_WINEPREFIX, starts wineserver -p and
#                    Xvfb (unless a DISPLAY is given), exports DISPLAY
#   wine_env_stop    ends exactly what wine_env_start started
_wine_env_xvfb_pid=""
_wine_env_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)

wine_env_choose() {
  [ -n "${PLIMBAR_WIN_BUILD:-}" ] && return 0
  local found reason
  found=$("$_wine_env_root/cmake/wine-run.sh" --probe)
  reason=${found#*$'\t'}
  if [ "${found%%$'\t'*}" = win32 ]; then
    export PLIMBAR_WIN_BUILD=win32 PLIMBAR_WIN_OTHER=win64 PLIMBAR_WINE=wine
    echo "Windows build: win32, the 32-bit release, under wine: $reason"
  else
    export PLIMBAR_WIN_BUILD=win64 PLIMBAR_WIN_OTHER=win32 PLIMBAR_WINE=/usr/lib/wine/wine64
    echo "Windows build: win64, the 64-bit build, under wine64 in a 64-bit prefix: $reason"
  fi
}

# The toolchain file of a Windows build (win32 or win64).
wine_env_toolchain() {
  case $1 in
    win32) echo "$_wine_env_root/cmake/mingw-i686.cmake" ;;
    win64) echo "$_wine_env_root/cmake/mingw-x86_64.cmake" ;;
  esac
}

wine_env_start() {
  wine_env_choose >/dev/null
  export WINEPREFIX="$PLIMBAR_WINEPREFIX" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
  export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
  if [ "$PLIMBAR_WIN_BUILD" = win64 ]; then
    export WINEARCH=win64 WINELOADER="$PLIMBAR_WINE"
  fi
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
  fi
  # Makes the prefix on first use (fonts included), then starts nothing.
  "$_wine_env_root/cmake/wine-run.sh" cmd /c exit </dev/null >/dev/null 2>&1 || true
  wineserver -w
  wineserver -p  # stays up (it detaches) until wine_env_stop
  # Start the prefix's services now, with no terminal or pipe of ours: a
  # service started by a test program would inherit its output pipe and keep
  # ctest waiting for the pipe to close.
  "$PLIMBAR_WINE" cmd /c exit </dev/null >/dev/null 2>&1 || true
}

wine_env_stop() {
  if [ -n "${WINEPREFIX:-}" ]; then wineserver -k 2>/dev/null || true; fi
  if [ -n "$_wine_env_xvfb_pid" ]; then
    kill "$_wine_env_xvfb_pid" 2>/dev/null || true
    wait "$_wine_env_xvfb_pid" 2>/dev/null || true
    _wine_env_xvfb_pid=""
  fi
}
