#!/usr/bin/env bash
# Cross-builds the static libraries the Windows x64 build links (glew,
# mpg123, fftw3 single precision, libpng, SDL2, plus Debian's mingw zlib) from
# Debian's source packages, with Debian's mingw-w64 POSIX-threads compiler,
# into one prefix. Each library is rebuilt only when its source version
# changes; with every library built it does not ask the archive at all.
# Usage: scripts/windows-deps.sh [BUILD_DIR]      (default: <repo>/build-windows)
#   QUORLAXEN_DEPS_REFRESH=1  ask the archive for newer versions even when all
#                             libraries are built
# Progress goes to stderr; stdout gets one line, the prefix
# (BUILD_DIR/deps/prefix), so prefix=$(scripts/windows-deps.sh) works.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build-windows}
mkdir -p "$build"
build=$(cd "$build" && pwd)

deps=$build/deps
prefix=$deps/prefix
stamps=$deps/stamps
logs=$deps/logs
srcdir=$deps/src
work=$deps/build
aptdir=$deps/apt
toolchain=$root/cmake/mingw-w64-x86_64.cmake
host=x86_64-w64-mingw32
sysroot=/usr/$host
jobs=$(nproc)

# Source packages in build order (libpng needs the zlib step before it).
sources=(glew mpg123 fftw3 libpng1.6 libsdl2)

die() { echo "windows-deps: $*" >&2; exit 1; }

# --- Host tools --------------------------------------------------------------
tools=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
  mingw-w64-tools libz-mingw-w64-dev mingw-w64-x86-64-dev
  dpkg-dev debian-archive-keyring cmake ninja-build make pkg-config
)
missing=()
for p in "${tools[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}" >&2
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  {
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive \
      apt-get install -y --no-install-recommends "${missing[@]}"
  } >&2
fi

mkdir -p "$prefix/include" "$prefix/lib/pkgconfig" "$stamps" "$logs" "$srcdir" "$work"

# The cross builds must never pick up the host's libraries or .pc files.
export PKG_CONFIG_LIBDIR=$prefix/lib/pkgconfig PKG_CONFIG_PATH= PKG_CONFIG_SYSROOT_DIR=
export CC=$host-gcc-posix CXX=$host-g++-posix AR=$host-ar RANLIB=$host-ranlib \
  STRIP=$host-strip WINDRES=$host-windres RC=$host-windres
export CFLAGS="-O2" CXXFLAGS="-O2" CPPFLAGS="-I$prefix/include" LDFLAGS="-L$prefix/lib"

# shellcheck source=scripts/debian-source.sh
. "$root/scripts/debian-source.sh"

# What each library's build leaves in the prefix (see built in
# debian-source.sh).
declare -A product=(
  [zlib]=lib/libz.a [glu]=lib/pkgconfig/glu.pc [glew]=lib/libglew32.a
  [mpg123]=lib/libmpg123.a [fftw3]=lib/libfftw3f.a [libpng1.6]=lib/libpng16.a
  [libsdl2]=lib/libSDL2.a
)
# Static libraries make the private/public split meaningless, and CMake's
# pkg_check_modules(IMPORTED_TARGET) reads only the public fields: fold the
# private ones in so that a plain query gives a complete static link line.
# Paths become relative to the .pc file so the prefix may be moved.
fix_pc_files() {
  local pc
  for pc in "$prefix"/lib/pkgconfig/*.pc; do
    [ -f "$pc" ] && [ ! -L "$pc" ] || continue
    awk -v abs="$prefix" '
      function fold(key, line) { sub("^" key ":[ \t]*", "", line); return line }
      /^prefix=/ { print "prefix=${pcfiledir}/../.."; next }
      { n = index($0, abs); while (n) { $0 = substr($0, 1, n - 1) "${prefix}" substr($0, n + length(abs)); n = index($0, abs) } }
      /^Libs\.private:/ { t = fold("Libs.private", $0); if (t != "") lp = lp " " t; next }
      /^Requires\.private:/ { t = fold("Requires.private", $0); if (t != "") rp = rp " " t; next }
      { lines[++count] = $0 }
      END {
        for (i = 1; i <= count; i++) {
          line = lines[i]
          if (line ~ /^Libs:/) { line = line lp; lp = "" }
          if (line ~ /^Requires:/ && rp != "") { line = line (line ~ /:[ \t]*$/ ? "" : ",") rp; rp = "" }
          print line
        }
        if (lp != "") print "Libs:" lp
        if (rp != "") print "Requires:" rp
      }' "$pc" >"$pc.tmp"
    mv "$pc.tmp" "$pc"
  done
}

# --- Steps that use what Debian's mingw packages ship ----------------------
installed_version() { dpkg-query -W -f='${Version}' "$1"; }

# Copied into the prefix so that -L<prefix>/lib -lz finds the static archive
# and never the sysroot's libz.dll.a (which would need zlib1.dll).
build_zlib() {
  cp "$sysroot/include/zlib.h" "$sysroot/include/zconf.h" "$prefix/include/"
  cp "$sysroot/lib/libz.a" "$prefix/lib/"
  local v; v=$(sed -n 's/^Version: *//p' "$sysroot/lib/pkgconfig/zlib.pc")
  cat >"$prefix/lib/pkgconfig/zlib.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: zlib
Description: zlib compression library (static, from libz-mingw-w64-dev)
Version: $v
Libs: -L\${libdir} -lz
Cflags: -I\${includedir}
EOF
}

# The Linux build asks pkg-config for glu; mingw ships glu32 without a .pc.
build_glu() {
  cat >"$prefix/lib/pkgconfig/glu.pc" <<EOF
Name: glu
Description: OpenGL utility library (Windows glu32)
Version: 1.3
Libs: -lglu32 -lopengl32
Cflags:
EOF
}

# --- Steps built from Debian source packages -------------------------------
build_glew() {
  local s=$1
  mkdir -p "$work/glew"
  # GLEW_STATIC drops the dllimport/dllexport decorations.
  "$CC" $CFLAGS -DGLEW_STATIC -I"$s/include" -c "$s/src/glew.c" -o "$work/glew/glew.o"
  rm -f "$prefix/lib/libglew32.a"
  "$AR" rcs "$prefix/lib/libglew32.a" "$work/glew/glew.o"
  mkdir -p "$prefix/include/GL"
  local h
  for h in glew.h wglew.h eglew.h glxew.h; do
    if [ -e "$s/include/GL/$h" ]; then cp "$s/include/GL/$h" "$prefix/include/GL/"; fi
  done
  local v; v=$(sed -n 's/^GLEW_\(MAJOR\|MINOR\|MICRO\) *= *//p' "$s/config/version" | paste -sd.)
  cat >"$prefix/lib/pkgconfig/glew.pc" <<EOF
prefix=$prefix
libdir=\${prefix}/lib
includedir=\${prefix}/include

Name: glew
Description: The OpenGL Extension Wrangler library (static)
Version: $v
Cflags: -I\${includedir} -DGLEW_STATIC
Libs: -L\${libdir} -lglew32 -lopengl32
EOF
}

build_mpg123() {
  local s=$1 b=$work/mpg123
  mkdir -p "$b" && cd "$b"
  # Only libmpg123's decoder is used; the dummy output keeps the programs
  # from needing any audio system.
  "$s/configure" --host=$host --prefix="$prefix" --enable-static --disable-shared \
    --with-cpu=x86-64 --enable-modules=no --with-audio=dummy --with-default-audio=dummy
  # Empty bin_PROGRAMS skips the player and its helper programs.
  make -j"$jobs" bin_PROGRAMS=
  make install bin_PROGRAMS=
}

build_fftw3() {
  local s=$1 b=$work/fftw3
  mkdir -p "$b" && cd "$b"
  # AVX codelets are chosen at run time by CPUID, so they are safe to
  # include. Debian's mingw gcc emits unaligned vector moves for stack spills,
  # which avoids the crash Windows' 16-byte stack alignment causes elsewhere.
  "$s/configure" --host=$host --prefix="$prefix" --enable-static --disable-shared \
    --enable-float --enable-sse2 --enable-avx --with-our-malloc \
    --disable-fortran --disable-doc --disable-threads
  # Only the library: the tests, benchmark and tools would add to the build
  # time. (Overriding SUBDIRS on the command line would leak into sub-makes.)
  local d
  for d in support kernel simd-support dft rdft reodft api; do
    make -C "$d" -j"$jobs"
  done
  make -j"$jobs" libfftw3f.la fftw3f.pc
  make install-libLTLIBRARIES install-pkgconfigDATA
  make -C api install-includeHEADERS
}

build_libpng1_6() {
  local s=$1 b=$work/libpng1.6
  mkdir -p "$b" && cd "$b"
  # Debian's patches touch Makefile.am; keeping maintainer mode off stops
  # make from wanting automake for that.
  "$s/configure" --host=$host --prefix="$prefix" --enable-static --disable-shared \
    --disable-maintainer-mode --enable-hardware-optimizations \
    --with-zlib-prefix="$prefix"
  # Empty bin_PROGRAMS skips pngfix and png-fix-itxt.
  make -j"$jobs" bin_PROGRAMS=
  make install bin_PROGRAMS=
}

build_libsdl2() {
  local s=$1 b=$work/libsdl2
  cmake -S "$s" -B "$b" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DQUORLAXEN_WINDOWS_DEPS="$prefix" \
    -DCMAKE_INSTALL_PREFIX="$prefix" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_C_FLAGS_RELEASE="-O2 -DNDEBUG" \
    -DSDL_SHARED=OFF -DSDL_STATIC=ON -DSDL_TEST=OFF \
    -DSDL_WASAPI=ON -DSDL_DIRECTX=ON -DSDL_DISKAUDIO=ON -DSDL_DUMMYAUDIO=ON
  cmake --build "$b" -j "$jobs"
  cmake --install "$b"
}

build_source() { # version, with $pkg set by the caller
  local version=$1
  fetch "$pkg" "$version"
  rm -rf "$work/$pkg"
  "build_${pkg//./_}" "$srcdir/$pkg-${version#*:}"
  fix_pc_files
  # libtool archives only add absolute paths; nothing here links with libtool.
  rm -f "$prefix"/lib/*.la
  rm -rf "$work/$pkg" "$srcdir/$pkg-${version#*:}"
}

# --- Main ------------------------------------------------------------------
total_start=$SECONDS

v=$(installed_version libz-mingw-w64-dev)
built zlib "$v" || step zlib "$v" build_zlib
v=$(installed_version mingw-w64-x86-64-dev)
built glu "$v" || step glu "$v" build_glu

stale=${QUORLAXEN_DEPS_REFRESH:-0}
for pkg in "${sources[@]}"; do
  built "$pkg" || stale=1
done
if [ "$stale" = 1 ]; then
  # The index is fetched anyway, so every library is checked against it.
  apt_update
  for pkg in "${sources[@]}"; do
    v=$(source_version "$pkg")
    built "$pkg" "$v" || step "$pkg" "$v"
  done
fi
fix_pc_files

if ((${#seconds[@]})); then
  echo "windows-deps: ${#seconds[@]} built in $((SECONDS - total_start)) s" >&2
fi
echo "$prefix"
