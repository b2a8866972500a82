#!/bin/sh
# Runs a Windows program under Wine the way the tests need it: its own
# prefix, Japanese locale (ANSI code page 932), no debug chatter and no
# offers to download add-ons. The prefix is PLIMBAR_WINEPREFIX, or
# ~/.local/share/plimbar-wine when unset; it is made on first use.
set -e
: "${PLIMBAR_WINEPREFIX:=${HOME:-/tmp}/.local/share/plimbar-wine}"
export WINEPREFIX="$PLIMBAR_WINEPREFIX"
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
WINE=${PLIMBAR_WINE:-wine}
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
fi
exec "$WINE" "$@"
