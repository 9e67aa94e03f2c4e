#!/usr/bin/env bash
# The browser's MP3 decoder and FFT (built with Emscripten from Debian's
# sources) against the native libraries: every forged music file decodes to
# the same number of frames and the same samples within one 16-bit step, at
# most 1 % of them off (the portable synthesis rounds otherwise than the
# native SIMD one: measured 0.09 %); the spectrum of a fixed signal agrees
# within 1e-5 of full scale per bin (measured 4e-8).
# Usage: check-deps.sh NATIVE_PROGRAM WASM_PROGRAM.js MUSIC_DIR WORK_DIR
set -euo pipefail
[ $# -eq 4 ] || { echo "usage: $0 NATIVE WASM.js MUSIC_DIR WORK_DIR" >&2; exit 2; }
native=$1 wasm=$2 music=$3 work=$4
[ -e "$wasm" ] || { echo "no $wasm: scripts/setup.sh --fuzz builds it" >&2; exit 1; }
mkdir -p "$work"
fail=0
shopt -s nullglob
files=("$music"/*.mp3)
((${#files[@]})) || { echo "no MP3 in $music" >&2; exit 1; }
for mp3 in "${files[@]}"; do
  name=$(basename "$mp3" .mp3)
  a=$("$native" decode "$mp3" "$work/$name.native.raw")
  b=$(node "$wasm" decode "$mp3" "$work/$name.wasm.raw")
  echo "$name: native $a; wasm $b"
  [ "$a" = "$b" ] || { echo "FAIL: $name decodes to another length or format" >&2; fail=1; continue; }
  c=$("$native" compare "$work/$name.native.raw" "$work/$name.wasm.raw")
  echo "$name: $c"
  read -r _ differing _ total _ largest <<<"$c"
  ((largest <= 1 && differing * 100 <= total)) || { echo "FAIL: $name differs too much" >&2; fail=1; }
  rm -f "$work/$name.native.raw" "$work/$name.wasm.raw"
done
"$native" spectrum >"$work/spectrum.native"
node "$wasm" spectrum >"$work/spectrum.wasm"
paste "$work/spectrum.native" "$work/spectrum.wasm" | awk '
  { d = $1 - $2; if (d < 0) d = -d; if (d > worst) { worst = d; bin = NR - 1 } n++ }
  END {
    printf "spectrum: %d bins, largest difference %.3g (bin %d)\n", n, worst, bin
    exit !(n == 512 && worst <= 1e-5)
  }' || { echo "FAIL: the spectra differ" >&2; fail=1; }
exit $fail
