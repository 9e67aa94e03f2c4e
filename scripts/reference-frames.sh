#!/usr/bin/env bash
# reference-frames.sh BUILD_A BUILD_B [OUT_DIR]: renders the same frames with
# the capture program of two builds and compares them pixel by pixel:
#   - 122 frames at scene times 0.5, 2.5, ... 242.5 (every row's window has
#     at least one), 640x360 with 4 samples;
#   - 31 frames at scene times 1.5, 9.5, ... 241.5, 1280x720 without
#     multisampling.
# Prints one line per frame (share of pixels within 2 levels, largest
# difference) and a summary; exits 1 when a frame has fewer than 99.5 % of
# its pixels within 2 levels (or differs in size), 2 when a build cannot
# render. The frames stay in OUT_DIR (default: a temporary folder, removed).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || {
  echo "usage: $0 BUILD_A BUILD_B [OUT_DIR]" >&2
  exit 2
}
build_a=$(cd "$1" && pwd)
build_b=$(cd "$2" && pwd)
if [ -n "${3:-}" ]; then
  out=$(realpath -m "$3")
  mkdir -p "$out"
else
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi

diff_tool=
for candidate in "$root/build/tests/frame_diff" "$build_b/tests/frame_diff" "$build_a/tests/frame_diff"; do
  [ -x "$candidate" ] && diff_tool=$candidate && break
done
[ -n "$diff_tool" ] || {
  echo "no frame_diff built (cmake --build build --target frame_diff)" >&2
  exit 2
}

sets=("small|--size 640x360|0.5|2|242.5" "large|--size 1280x720 --no-aa|1.5|8|241.5")

times() { # first step last: --at-scene arguments
  awk -v a="$1" -v s="$2" -v b="$3" 'BEGIN { for (t = a; t <= b + 1e-9; t += s) printf "--at-scene %.1f ", t }'
}

for build in "$build_a" "$build_b"; do
  capture=$build/show/quorlaxen-capture
  [ -x "$capture" ] || {
    echo "no capture program in $build/show" >&2
    exit 2
  }
  label=$([ "$build" = "$build_a" ] && echo a || echo b)
  for entry in "${sets[@]}"; do
    IFS='|' read -r name options first step last <<<"$entry"
    # shellcheck disable=SC2046,SC2086
    "$capture" --quiet $options $(times "$first" "$step" "$last") -o "$out/$label/$name/" >/dev/null ||
      {
        echo "$capture could not render the $name set" >&2
        exit 2
      }
  done
done

frames=0 identical=0 below=0 worst=100
for entry in "${sets[@]}"; do
  name=${entry%%|*}
  for frame in "$out/a/$name"/*.png; do
    file=$name/$(basename "$frame")
    line=$("$diff_tool" "$frame" "$out/b/$file" 0.995) || below=$((below + 1))
    line=${line/#$out\/b\//}
    echo "$line"
    frames=$((frames + 1))
    share=$(sed -n 's/.*: \([0-9.]*\)% of pixels.*/\1/p' <<<"$line")
    [[ $line == *"largest difference 0" ]] && identical=$((identical + 1))
    [ -n "$share" ] && worst=$(awk -v a="$worst" -v b="$share" 'BEGIN { print (b < a ? b : a) }')
  done
done
echo "frames: $frames, bit for bit equal: $identical, worst share within 2 levels: $worst%, below 99.5%: $below"
[ "$below" -eq 0 ]
