#!/usr/bin/env bash
# The capture without an X server: EGL frames against Xvfb frames.
# Usage: check.sh egl BUILD_DIR
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
show=$build/show
capture=$show/quorlaxen-capture
tmp=$(mktemp -d)
chmod 755 "$tmp"
trap 'rm -rf "$tmp"' EXIT
trap 'exit 130' INT TERM

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

[ -x "$capture" ] || fail "no quorlaxen-capture in $show"
[ -d "$show/music" ] && [ -d "$show/meshes" ] || fail "forge the data first (build the show folder)"

case $what in
egl)
  # No display and no Xvfb anywhere on PATH: the frame comes through EGL,
  # byte for byte the frame drawn on Xvfb.
  mkdir -p "$tmp/egl" "$tmp/xvfb" "$tmp/none"
  times=(--at 12 --at 60 --at 100 --at 242)
  env -u DISPLAY PATH=/nonexistent "$capture" --quiet --gl egl --size 320x180 "${times[@]}" \
    --stats "$tmp/egl.csv" -o "$tmp/egl/" >"$tmp/egl.txt" || fail "the capture through EGL failed"
  grep -qx 'egl=1' "$tmp/egl.txt" || fail "the capture did not say it drew through EGL"
  "$capture" --quiet --gl xvfb --size 320x180 "${times[@]}" -o "$tmp/xvfb/" >/dev/null || fail "the capture on Xvfb failed"
  for f in "$tmp/xvfb"/*.png; do
    cmp -s "$f" "$tmp/egl/$(basename "$f")" || fail "$(basename "$f") through EGL differs from the Xvfb frame"
  done
  # Without multisampling too.
  env -u DISPLAY PATH=/nonexistent "$capture" --quiet --gl egl --no-aa --size 320x180 --at 84.5 -o "$tmp/egl-1x.png" >/dev/null
  "$capture" --quiet --gl xvfb --no-aa --size 320x180 --at 84.5 -o "$tmp/xvfb-1x.png" >/dev/null
  cmp -s "$tmp/egl-1x.png" "$tmp/xvfb-1x.png" || fail "the frame without multisampling differs between EGL and Xvfb"
  # EGL with no vendor library: forced, one line and nothing written;
  # left to choose, the capture falls back to Xvfb and draws the same frame.
  export __EGL_VENDOR_LIBRARY_FILENAMES=/nonexistent.json
  if "$capture" --quiet --gl egl --size 320x180 --at 60 -o "$tmp/none/frame.png" 2>"$tmp/err.txt"; then
    fail "--gl egl without an EGL vendor succeeded"
  fi
  [ "$(wc -l <"$tmp/err.txt")" = 1 ] && grep -q 'egl' "$tmp/err.txt" || fail "not one line: $(cat "$tmp/err.txt")"
  [ -z "$(ls -A "$tmp/none")" ] || fail "a refused capture left $(ls -A "$tmp/none")"
  "$capture" --quiet --size 320x180 --at 60 -o "$tmp/fallback.png" >/dev/null || fail "no fallback to Xvfb"
  cmp -s "$tmp/fallback.png" "$tmp/egl/show-060.000.png" || fail "the fallback frame differs"
  ;;

*)
  fail "unknown case $what"
  ;;
esac
echo "farm.$what: ok"
