#!/usr/bin/env bash
# Makes main.png, the picture of the main window in the help: the program,
# run under Wine on a virtual display with examples/kick.plb as its working
# patch, photographed without a window frame. Run it again when the window
# changes; the help build only copies the picture.
#
# usage: make_screenshot.sh PlimbarMaker.exe [OUT.png]
# Needs Wine, Xvfb, xwininfo (x11-utils) and import (imagemagick), as set up
# by scripts/setup-deps.sh.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
exe=$(realpath "${1:?usage: make_screenshot.sh PlimbarMaker.exe [OUT.png]}")
out=$(realpath -m "${2:-$here/main.png}")

work=$(mktemp -d)
export PLIMBAR_WINEPREFIX="$work/prefix"
# shellcheck source=../../scripts/wine-env.sh
. "$root/scripts/wine-env.sh"
app_pid=""
cleanup() {
  if [ -n "$app_pid" ]; then kill "$app_pid" 2>/dev/null || true; fi
  wine_env_stop
  rm -rf "$work"
}
trap cleanup EXIT
wine_env_start

# The dialog font, a Japanese proportional gothic, as on a Japanese Windows;
# without it Wine draws the captions too wide for their fields.
python3 - "$work/fonts.reg" <<'EOF'
import sys
lines = ["Windows Registry Editor Version 5.00", "",
         r"[HKEY_LOCAL_MACHINE\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes]"]
for name in ("MS PGothic", "MS UI Gothic", "\uff2d\uff33 \uff30\u30b4\u30b7\u30c3\u30af"):
    lines.append(f'"{name}"="IPAPGothic"')
open(sys.argv[1], "w", encoding="utf-16").write("\r\n".join(lines) + "\r\n")
EOF
"$PLIMBAR_WINE" regedit /S "$("$PLIMBAR_WINE" winepath -w "$work/fonts.reg")" </dev/null >/dev/null 2>&1

mkdir "$work/app"
cp "$exe" "$work/app/PlimbarMaker.exe"
cp "$root/examples/kick.plb" "$work/app/PlimbarMaker.ini"
(cd "$work/app" && exec "$PLIMBAR_WINE" PlimbarMaker.exe </dev/null >/dev/null 2>&1) &
app_pid=$!

geometry=""
deadline=$((SECONDS + 60))
while [ -z "$geometry" ] && [ $SECONDS -lt $deadline ]; do
  sleep 1
  geometry=$(xwininfo -root -tree 2>/dev/null |
    sed -n 's/.*"PlimbarMaker": ("plimbarmaker.exe".* \([0-9]*x[0-9]*+[0-9]*+[0-9]*\) .*/\1/p' | head -n 1)
done
[ -n "$geometry" ] || { echo "make_screenshot: the main window did not appear" >&2; exit 1; }
sleep 2  # let the views paint
import -window root "$work/root.png"
convert "$work/root.png" -crop "$geometry" +repage "$out"
echo "wrote $out ($geometry)"
