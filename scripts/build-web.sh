#!/usr/bin/env bash
# Builds the show for web browsers (WebAssembly, WebGL 2, Web Audio): the
# libraries the browser lacks from Debian's source packages
# (scripts/web-deps.sh, cached by version), the show over the es3 drawing
# layer with Debian's Emscripten, the data a native build forged as one
# package the page loads first and each music version as a file of its own,
# laid out as the site folder BUILD_DIR/site and zipped. The zip's path is
# the last line printed.
# Usage: scripts/build-web.sh [BUILD_DIR]   (default: build-web)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$root/build-web}")
mkdir -p "$out"
log="$out/build.log"
: >"$log"

step() { echo "== $*" >&2; }
failed() {
  tail -n 40 "$log" >&2
  echo "build-web: $1 failed; the whole log is $log" >&2
  exit 1
}

step "Emscripten and the tools around it"
packages=(emscripten node-acorn binaryen cmake ninja-build pkg-config zip dpkg-dev debian-archive-keyring)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# Debian's acorn, which emcc's JavaScript optimiser loads, is found by
# Debian's node only; any other node needs the path.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

step "libraries the browser lacks (built once per source version)"
prefix=$("$root/scripts/web-deps.sh" "$out" | tail -n 1)

# The data files are forged by native tools; a native build makes them.
native_show="$root/build/show"
step "data, forged by the native build"
"$root/scripts/setup.sh" --show >&2 || failed "the native build of the data"

step "the show for WebAssembly"
{
  PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH= emcmake cmake -S "$root" -B "$out/build" -G Ninja \
    -DCMAKE_BUILD_TYPE=Release -DQUORLAXEN_GL=es3 -DQUORLAXEN_TESTS=OFF &&
    cmake --build "$out/build" -j"$(nproc)" --target quorlaxen-web
} >>"$log" 2>&1 || failed "the WebAssembly build"

version=$(sed -n 's/^project(quorlaxen VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
name="quorlaxen-$version-web"
site="$out/site"
step "laying out the site ($name)"
rm -rf "$site" "$out/stage"
mkdir -p "$site/music"
cp "$out/build/tools/web/quorlaxen.js" "$out/build/tools/web/quorlaxen.wasm" "$site/"
cp "$root/tools/web/index.html" "$site/"
sed "s/@VERSION@/$version/" "$root/packaging/web-readme.txt" >"$site/README.txt"
# Meshes, textures and effects in one package the page loads before the
# show; the music stays out of it, each version fetched only when chosen.
data="$out/data"
rm -rf "$data" && mkdir -p "$data"
cp -r "$native_show/meshes" "$native_show/textures" "$data/"
cp -r "$root/data/cgeffects" "$data/cgeffects"
"$root/scripts/web-data.sh" "$data" "$site" >>"$log" 2>&1 || failed "the data package"
cp "$native_show/music/"* "$site/music/"

mkdir -p "$out/stage"
cp -r "$site" "$out/stage/$name"
rm -f "$out/$name.zip"
(cd "$out/stage" && zip -qr9 "$out/$name.zip" "$name") || failed "the zip"
rm -rf "$out/stage"
echo "$out/$name.zip"
