#!/usr/bin/env bash
# Sets up and runs PlimbarMaker on Debian: installs what it needs, builds
# the 32-bit Windows program and starts it under Wine (Japanese locale, a
# Wine prefix of its own, the settings file next to the program in
# build/win32-app/ui/). Needs an X display: set DISPLAY, or run it inside
# xvfb-run. On Windows, run PlimbarMaker.exe itself.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}

"$root/scripts/setup-deps.sh"
exec "$root/ui/run-wine.sh" "$build/win32-app"
