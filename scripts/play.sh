#!/usr/bin/env bash
# Installs what is missing, builds the show and its data, and plays it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
show="$root/build/show/quorlaxen"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the show opens a window and needs an X11 or Wayland session." >&2
  echo "Built: $show" >&2
  exit 1
fi
exec "$show"
