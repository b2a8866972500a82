#!/bin/sh
# Builds PlimbarMaker.exe with MinGW-w64 and starts it under Wine, the way
# it runs on Windows: Japanese locale (ANSI code page 932), a Wine prefix of
# its own, and the settings file next to the program in the build folder.
# The build is the 32-bit release where this machine runs 32-bit programs,
# else the 64-bit build of the same sources under Wine's 64-bit loader
# (PLIMBAR_WIN_BUILD=win32 or win64 chooses; cmake/wine-run.sh --probe
# decides otherwise).
#
#   ui/run-wine.sh [BUILD_DIR]      (default: build-<win32|win64> beside ui/)
#
# Environment: DISPLAY (an X display; required), PLIMBAR_WINEPREFIX (the
# prefix, default ~/.local/share/plimbar-wine). On Windows, run
# PlimbarMaker.exe from the build folder directly instead.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
if [ -z "${DISPLAY:-}" ]; then
  echo "No X display: PlimbarMaker is a window program and needs one." >&2
  echo "Start one, for example:  Xvfb :57 & export DISPLAY=:57" >&2
  echo "(on Windows, start PlimbarMaker.exe itself)" >&2
  exit 1
fi
if [ -z "${PLIMBAR_WIN_BUILD:-}" ]; then
  PLIMBAR_WIN_BUILD=$("$here/cmake/wine-run.sh" --probe | cut -f1)
fi
case $PLIMBAR_WIN_BUILD in
  win32) toolchain=mingw-i686 compiler=i686-w64-mingw32-g++-posix wine=wine ;;
  *) toolchain=mingw-x86_64 compiler=x86_64-w64-mingw32-g++-posix wine=/usr/lib/wine/wine64 ;;
esac
build=${1:-$here/build-$PLIMBAR_WIN_BUILD}
for tool in cmake "$compiler" "$wine"; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "$tool is missing (Debian: cmake g++-mingw-w64 wine wine64 wine32:i386)" >&2
    exit 1
  }
done
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/$toolchain.cmake" \
  -DPLIMBAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target PlimbarMaker -j2
exe=$(find "$build" -name PlimbarMaker.exe -print -quit)
cd "$(dirname "$exe")"
PLIMBAR_WINE=$wine exec "$here/cmake/wine-run.sh" PlimbarMaker.exe
