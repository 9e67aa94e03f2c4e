#!/usr/bin/env bash
# Installs what is missing, builds everything (the fuzz targets too) and runs
# every test under a virtual X display, each once: a failure is a failure.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/setup.sh" --fuzz
# The Windows build, which the Wine tests run.
"$root/scripts/build-windows.sh" >/dev/null
cd "$root/build"
# Everything a test needs is installed and built by now: a test that still
# cannot find it fails instead of skipping (tests/support/needs.h).
export QUORLAXEN_TEST_ALL=1
exec xvfb-run -a -s "-screen 0 1920x1080x24 -nolisten tcp" \
  ctest --output-on-failure --timeout 600 -j"$(nproc)" "$@"
