#!/usr/bin/env bash
# Sets up and builds the Windows release zip, PlimbarMaker-<version>-win32.zip,
# in build/win32-app/ (the tree scripts/run.sh uses), and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}/win32-app

"$root/scripts/setup-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" --target plimbar_package -j "$(nproc)" >/dev/null
ls "$build"/PlimbarMaker-*-win32.zip
