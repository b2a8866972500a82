#!/usr/bin/env bash
# Builds the browser edition (build/web, or $PLIMBAR_BUILD_ROOT/web) and
# serves it on this machine alone: http://127.0.0.1:PORT/PlimbarMaker.html
# (PORT is PLIMBAR_WEB_PORT, default 8080). The page is one file that also
# works opened straight from disk. Installs what it needs on first use
# (scripts/setup-deps.sh). Ctrl+C stops the server.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}/web
port=${PLIMBAR_WEB_PORT:-8080}
"$root/scripts/setup-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/emscripten.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "${PLIMBAR_JOBS:-$(nproc)}" --target plimbar_page plimbar_web_package
echo "PlimbarMaker in the browser: http://127.0.0.1:$port/PlimbarMaker.html"
echo "  (the same page from disk: file://$build/web/PlimbarMaker.html; the zip: $(ls "$build"/PlimbarMaker-*-web.zip))"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$build/web"
