#!/usr/bin/env bash
# Installs what is missing, builds everything (the fuzz targets too) and runs
# every test under a virtual X display. The end-to-end tests drive real
# windows under Xvfb with xdotool, which now and then misses a window or a
# key press; a failing test is run again, up to three times in all.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/setup.sh" --fuzz
cd "$root/build"
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  ctest --output-on-failure --timeout 600 --repeat until-pass:3 -j"$(nproc)" "$@"
