#!/bin/sh
# Runs a Windows program under Wine the way the tests need it: its own
# prefix, Japanese locale (ANSI code page 932), no debug chatter and no
# offers to download add-ons. The prefix is PLIMBAR_WINEPREFIX, or
# ~/.local/share/plimbar-wine when unset; it is made on first use, with the
# dialog font mapped to a proportional Japanese gothic.
#
#   wine-run.sh PROGRAM [ARGS...]
#   wine-run.sh --probe     prints "win32" or "win64", a tab and the reason:
#                           which Windows build this machine can run
#
# The Wine loader is PLIMBAR_WINE when set; otherwise the probe decides:
# Wine's 32-bit side where this machine runs 32-bit code, else its 64-bit
# loader alone in a 64-bit prefix (which runs only 64-bit programs).
# PLIMBAR_WINE_LANG sets another locale (and so another ANSI code page).
set -e
wine32=/usr/lib/wine/wine
wine64=/usr/lib/wine/wine64

# Whether 32-bit programs run here, found by starting one (Wine's 32-bit
# loader), never by the kernel's name or version.
probe() {
  if [ ! -e "$wine32" ]; then
    printf 'win64\tWine'"'"'s 32-bit side (%s) is not installed\n' "$wine32"
  elif out=$("$wine32" --version 2>&1); then
    printf 'win32\tthis machine runs 32-bit programs (%s --version: %s)\n' "$wine32" "$out"
  else
    printf 'win64\tthis machine cannot run 32-bit programs (%s --version: %s)\n' \
      "$wine32" "$(printf '%s' "$out" | sed 's/^.*: //' | head -n 1)"
  fi
}

if [ "${1:-}" = --probe ]; then
  probe
  exit 0
fi

if [ -z "${PLIMBAR_WINE:-}" ]; then
  case $(probe) in
    win32*) PLIMBAR_WINE=wine ;;
    *) PLIMBAR_WINE=$wine64 ;;
  esac
fi
if [ "$PLIMBAR_WINE" = "$wine64" ]; then
  # The 64-bit loader alone: a 64-bit prefix, and the loader Wine starts
  # its own helper programs with.
  export WINEARCH=win64 WINELOADER="$wine64"
fi

: "${PLIMBAR_WINEPREFIX:=${HOME:-/tmp}/.local/share/plimbar-wine}"
export WINEPREFIX="$PLIMBAR_WINEPREFIX"
export LANG="${PLIMBAR_WINE_LANG:-ja_JP.UTF-8}" LC_ALL="${PLIMBAR_WINE_LANG:-ja_JP.UTF-8}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$PLIMBAR_WINE" wineboot -i >/dev/null 2>&1 || true
  # The dialog font "ＭＳ Ｐゴシック" is drawn with the proportional
  # IPAPGothic, as wide as the font the dialog was laid out for; Wine's own
  # choice, the fixed-width IPAGothic, cuts the captions.
  reg=$WINEPREFIX/plimbar-fonts.reg
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"ＭＳ Ｐゴシック"="IPAPGothic"\r\n' |
    iconv -f UTF-8 -t UTF-16 >"$reg"
  "$PLIMBAR_WINE" regedit /S "Z:$(printf '%s' "$reg" | tr / '\\')" >/dev/null 2>&1 || true
  rm -f "$reg"
  wineserver -w || true
fi
exec "$PLIMBAR_WINE" "$@"
