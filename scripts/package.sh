#!/usr/bin/env bash
# Sets up and builds both Windows release zips,
# PlimbarMaker-<version>-win32.zip (the 32-bit release) and
# PlimbarMaker-<version>-win64.zip, in build/win32-app/ and build/win64-app/
# (the trees scripts/run.sh uses), and prints their paths.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}

"$root/scripts/setup-deps.sh"
# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
for kind in win32 win64; do
  cmake -S "$root" -B "$build/$kind-app" -DCMAKE_TOOLCHAIN_FILE="$(wine_env_toolchain "$kind")" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPLIMBAR_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build/$kind-app" --target plimbar_package -j "$(nproc)" >/dev/null
  ls "$build/$kind-app"/PlimbarMaker-*-"$kind".zip
done
