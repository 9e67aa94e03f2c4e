#!/usr/bin/env bash
# Packs a data folder (meshes/, textures/, cgeffects/) as the page's data
# package: SITE/quorlaxen.data and the script that loads it before the show,
# SITE/quorlaxen-data.js. The tests pack folders with a file taken out.
# Usage: scripts/web-data.sh DATA_DIR SITE_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 DATA_DIR SITE_DIR" >&2; exit 2; }
data=$(cd "$1" && pwd)
site=$(cd "$2" && pwd)
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
packager=$(dirname "$(readlink -f "$(command -v emcc)")")/tools/file_packager.py
[ -f "$packager" ] || packager=/usr/share/emscripten/tools/file_packager.py
cd "$site"
# Its reminder of -sFORCE_FILESYSTEM is left out: the program is built with it.
python3 "$packager" quorlaxen.data --preload "$data@/" --js-output=quorlaxen-data.js --no-node \
  > /dev/null 2> >(grep -v FORCE_FILESYSTEM >&2)
