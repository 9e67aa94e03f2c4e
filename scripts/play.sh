#!/usr/bin/env bash
# Installs what is missing, builds the show and its data, and plays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" --show
show="$root/build/show/quorlaxen"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  # No screen to play on: the capture program renders the show off-screen
  # (on an X server of its own) to a video with the music instead.
  video="$root/build/quorlaxen.mp4"
  fact() { "$root/scripts/show-fact.sh" "$1"; }
  echo "No display: rendering the show to a video file instead ($(fact default_width)x$(fact default_height)," \
    "$(fact default_fps) frames/s, with its music)." >&2
  echo "This takes a while on a software renderer; progress below." >&2
  "$root/build/show/quorlaxen-capture" -o "$video" >/dev/null
  echo "The show as a video: $video"
  exit 0
fi
exec "$show"
