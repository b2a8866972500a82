#!/usr/bin/env bash
# Sets up and runs PlimbarMaker on Debian: installs what it needs, builds
# the Windows program and starts it under Wine (Japanese locale, a Wine
# prefix of its own, the settings file next to the program in
# build/<win32|win64>-app/ui/). The program is the 32-bit release where this
# machine runs 32-bit programs, else the 64-bit build under Wine's 64-bit
# loader; the first line printed says which and why. Needs an X display:
# set DISPLAY, or run it inside xvfb-run. On Windows, run PlimbarMaker.exe
# itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}

"$root/scripts/setup-deps.sh"
# shellcheck source=scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
wine_env_choose
exec "$root/ui/run-wine.sh" "$build/$PLIMBAR_WIN_BUILD-app"
