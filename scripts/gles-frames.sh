#!/usr/bin/env bash
# gles-frames.sh GL_BUILD ES3_BUILD [OUT_DIR]: the proof of the drawing layer
# over OpenGL ES 3. The es3 build's programs link no desktop GL library; its
# capture, with the layer's debug switch on (every GLES call checked), draws
# the frames scripts/reference-frames.sh compares and the loading screen,
# which must match the GL build's on the same rasteriser: at least 99.5 % of
# each frame's pixels within 2 levels. Prints one line a frame; a frame that
# differs more fails the run and is named by its time. The failure roads
# the es3 build adds hold as on GL: no GLES 3 context, a missing effect.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -ge 2 ] || { echo "usage: $0 GL_BUILD ES3_BUILD [OUT_DIR]" >&2; exit 2; }
gl=$(cd "$1" && pwd) es3=$(cd "$2" && pwd)
out=${3:-}
if [ -z "$out" ]; then
  out=$(mktemp -d)
  trap 'rm -rf "$out"' EXIT
fi
mkdir -p "$out"

for program in quorlaxen quorlaxen-capture quorlaxen-viewer; do
  binary=$es3/show/$program
  [ -x "$binary" ] || { echo "no $binary (scripts/setup.sh --fuzz builds it in build/es3)" >&2; exit 2; }
  # Nothing GLES lacks can reach the driver if no desktop GL is linked.
  desktop=$(ldd "$binary" | grep -oE 'lib(GL|OpenGL|GLU|GLEW|GLX)\.so[^ ]*' | sort -u || true)
  [ -z "$desktop" ] || { echo "$program links desktop GL: $desktop" >&2; exit 1; }
done
export QUORLAXEN_GL_DEBUG=1

# The failure roads as on GL: no OpenGL ES 3 context, a missing effect source.
capture=$es3/show/quorlaxen-capture
if reason=$(MESA_GLES_VERSION_OVERRIDE=2.0 "$capture" --gl egl --at 1 -o "$out/none.png" 2>&1); then
  echo "no GLES 3 context: the capture succeeded" >&2
  exit 1
fi
[[ $reason == *"OpenGL ES 3 context"* ]] || { echo "no GLES 3 context: '$reason'" >&2; exit 1; }
echo "no GLES 3 context: $reason"
missing=$out/missing-effect
rm -rf "$missing" && mkdir -p "$missing/cgeffects"
cp "$capture" "$missing/"
for data in meshes music textures; do ln -s "$es3/show/$data" "$missing/$data"; done
cp "$es3"/show/cgeffects/* "$missing/cgeffects/" && rm "$missing/cgeffects/f_0"
if reason=$("$missing/quorlaxen-capture" --at 1 -o "$out/missing.png" 2>&1); then
  echo "a missing effect source: the capture succeeded" >&2
  exit 1
fi
[[ $reason == *"File is missing !: cgeffects/f_0"* ]] || { echo "a missing effect source: '$reason'" >&2; exit 1; }
echo "a missing effect source: $(tail -n 2 <<<"$reason" | head -n 1)"

status=0
for build in "$gl" "$es3"; do
  "$build/show/quorlaxen-capture" --quiet --loading --size 640x360 -o "$out/loading-$(basename "$build").png" ||
    { echo "$build could not draw the loading screen" >&2; exit 2; }
done
"$root/build/tests/frame_diff" "$out/loading-$(basename "$gl").png" "$out/loading-$(basename "$es3").png" 0.995 ||
  status=1
"$root/scripts/reference-frames.sh" "$gl" "$es3" "$out" || status=$?
exit "$status"
