#!/bin/sh
# Builds PlimbarMaker.exe with MinGW-w64 and starts it under Wine, the way
# it runs on Windows: Japanese locale (ANSI code page 932), a Wine prefix of
# its own, and the settings file next to the program in the build folder.
#
#   ui/run-wine.sh [BUILD_DIR]      (default: build-win32 beside ui/)
#
# Environment: DISPLAY (an X display; required), PLIMBAR_WINEPREFIX (the
# prefix, default ~/.local/share/plimbar-wine). On Windows, run
# PlimbarMaker.exe from the build folder directly instead.
set -e
here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build-win32}
if [ -z "${DISPLAY:-}" ]; then
  echo "No X display: PlimbarMaker is a window program and needs one." >&2
  echo "Start one, for example:  Xvfb :57 & export DISPLAY=:57" >&2
  echo "(on Windows, start PlimbarMaker.exe itself)" >&2
  exit 1
fi
for tool in cmake i686-w64-mingw32-g++-posix wine; do
  command -v "$tool" >/dev/null 2>&1 || {
    echo "$tool is missing (Debian: cmake g++-mingw-w64-i686 wine wine32:i386)" >&2
    exit 1
  }
done
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-i686.cmake" \
  -DPLIMBAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target PlimbarMaker -j2
exe=$(find "$build" -name PlimbarMaker.exe -print -quit)
cd "$(dirname "$exe")"
exec "$here/cmake/wine-run.sh" PlimbarMaker.exe
