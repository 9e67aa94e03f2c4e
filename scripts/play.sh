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
  echo "No display: rendering the show to a video file instead (1280x720, 60 frames/s, with its music)." >&2
  echo "This takes a while on a software renderer; progress below." >&2
  "$root/build/show/quorlaxen-capture" -o "$video" >/dev/null
  echo "The show as a video: $video"
  exit 0
fi
exec "$show"
