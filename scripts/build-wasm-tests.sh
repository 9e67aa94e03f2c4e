#!/usr/bin/env bash
# Builds the unit tests that need no GL with Emscripten (tests/wasm), against
# the browser's libraries from scripts/web-deps.sh; ctest runs them under
# Node. Incremental: a second run rebuilds only what changed.
# Usage: scripts/build-wasm-tests.sh BUILD_DIR
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 BUILD_DIR" >&2; exit 2; }
# Debian's acorn, which emcc's JavaScript optimiser loads, is found by
# Debian's node only; any other node needs the path.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}
prefix=$("$root/scripts/web-deps.sh")
emcmake cmake -S "$root/tests/wasm" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUORLAXEN_WEB_DEPS="$prefix" > /dev/null 2> >(grep -v '^configure: ' >&2)
cmake --build "$1" -j"$(nproc)"
