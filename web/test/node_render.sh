#!/usr/bin/env bash
# plimbar-render built with emscripten, run under Node.js, against the native
# one: the example and test patches in every format must give the same WAV
# bytes.   node_render.sh WASM_RENDER.js NATIVE_RENDER
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
patches=("$root"/examples/*.plb "$root"/tests/data/render/*.plb)
for rate in 44100 22050 11025; do for bits in 16 8; do
  for kind in wasm native; do mkdir -p "$work/$kind-$rate-$bits" && cp "${patches[@]}" "$work/$kind-$rate-$bits/"; done
  node "$1" --rate "$rate" --bits "$bits" "$work/wasm-$rate-$bits"/*.plb >/dev/null
  "$2" --rate "$rate" --bits "$bits" "$work/native-$rate-$bits"/*.plb >/dev/null
  diff -r "$work/wasm-$rate-$bits" "$work/native-$rate-$bits"  # the patches and their WAVs
done; done
echo "plimbar-render under Node.js: $(ls "$work"/native-*/*.wav | wc -l) WAVs, the same bytes as the native ones"
