#!/usr/bin/env bash
# Installs what building, running and testing PlimbarMaker needs on Debian:
# the native toolchain with GoogleTest, Google Benchmark and MPFR (the
# tests' oracle for the engine's sine and power), MinGW-w64 for the 32-bit
# and 64-bit Windows builds, Wine to run them, a virtual X display, Japanese
# fonts and locale, the outside tools the tests check files with, and for
# the browser edition emscripten, Chromium, Firefox ESR and Node.js with npm.
# Does nothing when everything is already there. Needs root (or sudo).
set -euo pipefail

packages=(
  cmake g++ make python3 googletest libgtest-dev libbenchmark-dev libmpfr-dev
  mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
  wine wine32:i386 wine64 xvfb x11-utils locales fonts-ipafont-gothic
  imagemagick sox libchm-bin fp-utils
  clang libclang-rt-14-dev
  emscripten chromium firefox-esr
)
# Node.js with npm for the browser tests: Debian's, unless one is there (a
# Node.js of another origin may bring its own npm, which Debian's would replace).
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then packages+=(nodejs npm); fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done

SUDO=""
if [ "$(id -u)" != 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  # A mirror in the middle of a sync serves index files that fail their checks: try again, then
  # go on with the lists that did come (the install fails if a package is not found in them).
  for try in 1 2 3; do
    $SUDO apt-get update -q && break
    [ "$try" = 3 ] && { echo "setup-deps: some package lists could not be updated; installing from the rest" >&2; break; }
    sleep $((try * 15))
  done
  install() { DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -q --no-install-recommends "$@"; }
  native=() foreign=()
  for p in "${missing[@]}"; do if [[ $p == *:i386 ]]; then foreign+=("$p"); else native+=("$p"); fi; done
  [ ${#native[@]} -eq 0 ] || install "${native[@]}"
  # Without Wine's 32-bit loader the probe finds no 32-bit Windows and the 64-bit build runs alone.
  if [ ${#foreign[@]} -gt 0 ] && ! install "${foreign[@]}"; then
    echo "setup-deps: ${foreign[*]} could not be installed (above): only the 64-bit Windows build can run here" >&2
  fi
fi

# Wine needs a Japanese locale to run with the ANSI code page 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP.utf8$'; then
  $SUDO sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
  grep -q '^ja_JP.UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
  $SUDO locale-gen >/dev/null
fi
