#!/usr/bin/env bash
# Builds plimbar-render and renders every example patch to a WAV file in
# build/examples-wav/, printing each file's format, length, peak level and
# clipped samples.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PLIMBAR_BUILD_ROOT:-$root/build}

"$root/scripts/setup-deps.sh"
cmake -S "$root" -B "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build/native" -j "$(nproc)" --target plimbar-render
out="$build/examples-wav"
mkdir -p "$out"
for patch in "$root"/examples/*.plb; do
  name=$(basename "${patch%.*}")
  "$build/native/cli/plimbar-render" -o "$out/$name.wav" "$patch"
done
echo "WAV files are in $out"
