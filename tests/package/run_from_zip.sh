#!/bin/sh
# The release zip unpacked into C:\Tools of a fresh prefix, used from another folder (scenario
# FromZip): only the settings and the saved WAV may be written (files listed before and after).
#   run_from_zip.sh ZIP WORK SCENARIO_TEST
set -eu
zip=$1 work=$2 driver=$3
here=$(dirname "$0")
drive=$PLIMBAR_WINEPREFIX/drive_c
rm -rf "$drive/Tools" "$drive/StartHere"
mkdir -p "$drive/Tools" "$drive/StartHere"
python3 -m zipfile -e "$zip" "$drive/Tools"
package=$(ls "$drive/Tools")
list() { find "$drive/users" "$drive/StartHere" "$drive/Tools" "$HOME" ! -type d -printf '%p|%s|%T@\n' | LC_ALL=C sort; }
list >"$work.before"
PLIMBAR_PACKAGE_DIR="C:\\Tools\\$package" PLIMBAR_PACKAGE_START='C:\StartHere' \
  PLIMBAR_PACKAGE_OUT="Z:$(printf %s "$work" | tr / '\\')" \
  sh "$here/../e2e/e2e_env.sh" run "$work" "$here/../../cmake/wine-run.sh" "$driver" --gtest_filter=Scenario.FromZip
list >"$work.after"
written=$(diff "$work.before" "$work.after" | sed -n 's/^\([<>] [^|]*\)|.*/\1/p')
if [ "$written" != "> $drive/Tools/$package/PlimbarMaker.ini
> $drive/Tools/$package/examples/kick.wav" ]; then
  echo "written other than the settings and the saved WAV:"
  echo "$written"
  exit 1
fi
