#!/usr/bin/env bash
# Builds the static libraries the browser lacks (mpg123, fftw3 single
# precision, and libjpeg-turbo, the JPEG tests' reference) from Debian's
# source packages with Debian's Emscripten, into one prefix. Each library is
# rebuilt only when its source version or its recipe below changes; with
# every library built it does not ask the archive at all.
# Usage: scripts/web-deps.sh [BUILD_DIR]      (default: <repo>/build-web)
#   QUORLAXEN_DEPS_REFRESH=1  ask the archive for newer versions even when all
#                             libraries are built
# Progress goes to stderr; stdout gets one line, the prefix
# (BUILD_DIR/deps/prefix), so prefix=$(scripts/web-deps.sh) works.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-web}
mkdir -p "$build"
build=$(cd "$build" && pwd)

deps=$build/deps
prefix=$deps/prefix
stamps=$deps/stamps
logs=$deps/logs
srcdir=$deps/src
work=$deps/build
aptdir=$deps/apt
jobs=$(nproc)
# The autoconf scripts of these sources predate WebAssembly's name; a 32-bit
# Linux host has its sizes (ILP32) and makes configure cross-compile.
host=i686-pc-linux-gnu

sources=(mpg123 fftw3 libjpeg-turbo)

die() { echo "web-deps: $*" >&2; exit 1; }

for tool in emcc emconfigure emmake dpkg-source node; do
  command -v $tool >/dev/null || die "$tool is missing (scripts/setup.sh --fuzz installs emscripten)"
done
# Debian's acorn, which emcc's JavaScript optimiser loads, is found by
# Debian's node only; any other node needs the path.
export NODE_PATH=/usr/share/nodejs${NODE_PATH:+:$NODE_PATH}

mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$stamps" "$logs" "$srcdir" "$work"
# One run at a time: a second would unpack and configure in the same folders.
exec 9>"$deps/lock"
flock 9
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"
# Nothing of the host's may leak into the WebAssembly builds.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH= PKG_CONFIG_SYSROOT_DIR=

# What each library's build leaves in the prefix (see built in
# debian-source.sh).
declare -A product=(
  [mpg123]=lib/libmpg123.a [fftw3]=lib/libfftw3f.a [libjpeg-turbo]=lib/libjpeg.a
)
# --- Steps built from Debian source packages -------------------------------
build_mpg123() {
  local s=$1 b=$work/mpg123
  mkdir -p "$b" && cd "$b"
  # Only libmpg123's decoder: the portable floating-point synthesis (no
  # assembly exists for WebAssembly), no output modules.
  emconfigure "$s/configure" --host=$host --prefix="$prefix" \
    --enable-static --disable-shared --with-cpu=generic_fpu --enable-modules=no \
    --with-audio=dummy --with-default-audio=dummy
  emmake make -j"$jobs" bin_PROGRAMS=
  emmake make install bin_PROGRAMS=
}

build_fftw3() {
  local s=$1 b=$work/fftw3
  mkdir -p "$b" && cd "$b"
  emconfigure "$s/configure" --host=$host --prefix="$prefix" \
    --enable-static --disable-shared --enable-float \
    --disable-fortran --disable-doc --disable-threads
  # Only the library, as for Windows: the tests, benchmark and tools would
  # double the build time.
  local d
  for d in support kernel simd-support dft rdft reodft api; do
    emmake make -C "$d" -j"$jobs"
  done
  emmake make -j"$jobs" libfftw3f.la fftw3f.pc
  emmake make install-libLTLIBRARIES install-pkgconfigDATA
  emmake make -C api install-includeHEADERS
}

build_libjpeg_turbo() {
  local s=$1 b=$work/libjpeg-turbo
  # The static library alone, without SIMD (its assembly is x86 and Arm).
  # CMake's type-size checks find nothing in Emscripten's output, so
  # wasm32's sizes are given.
  emcmake cmake -S "$s" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_INSTALL_LIBDIR=lib \
    -DENABLE_SHARED=OFF -DENABLE_STATIC=ON -DWITH_SIMD=OFF -DWITH_TURBOJPEG=OFF -DWITH_JAVA=OFF \
    -DHAVE_SIZE_T=1 -DSIZE_T=4 -DHAVE_UNSIGNED_LONG=1 -DUNSIGNED_LONG=4
  cmake --build "$b" -j "$jobs" --target jpeg-static
  cp "$b/libjpeg.a" "$prefix/lib/"
  cp "$s/jpeglib.h" "$s/jmorecfg.h" "$s/jerror.h" "$b/jconfig.h" "$prefix/include/"
}

# --- Fetching from Debian's archive ----------------------------------------
# shellcheck source=scripts/debian-source.sh
. "$root/scripts/debian-source.sh"

build_source() { # version, with $pkg set by the caller
  local version=$1
  fetch "$pkg" "$version"
  rm -rf "${work:?}/$pkg"
  "build_${pkg//-/_}" "$srcdir/$pkg-${version#*:}"
  # libtool archives only add absolute paths; nothing here links with libtool.
  rm -f "$prefix"/lib/*.la
  rm -rf "${work:?}/$pkg" "$srcdir/$pkg-${version#*:}"
}

# --- Main ------------------------------------------------------------------
total_start=$SECONDS
stale=${QUORLAXEN_DEPS_REFRESH:-0}
for pkg in "${sources[@]}"; do
  built "$pkg" || stale=1
done
if [ "$stale" = 1 ]; then
  apt_update
  for pkg in "${sources[@]}"; do
    v=$(source_version "$pkg")
    built "$pkg" "$v" || step "$pkg" "$v"
  done
fi

if ((${#seconds[@]})); then
  echo "web-deps: ${#seconds[@]} built in $((SECONDS - total_start)) s" >&2
fi
echo "$prefix"
