#!/usr/bin/env bash
# Fetches GLU's polygon tessellator from Debian's libglu source package (the
# version of the libglu1-mesa-dev installed here), for the OpenGL ES build,
# which links no GLU library. Unpacked once per version.
# Usage: scripts/glu-tess.sh DEPS_DIR   prints the unpacked source's folder
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 DEPS_DIR" >&2; exit 2; }
mkdir -p "$1"
deps=$(cd "$1" && pwd)
aptdir=$deps/apt logs=$deps/logs srcdir=$deps/src
mkdir -p "$logs" "$srcdir"
die() { echo "glu-tess: $*" >&2; exit 1; }

version=$(dpkg-query -W -f='${Version}' libglu1-mesa-dev 2>/dev/null) ||
  die "libglu1-mesa-dev is not installed (its headers and version are used)"
dir=$srcdir/libglu-${version#*:}
if [ ! -e "$dir/.unpacked" ]; then
  for tool in dpkg-source; do command -v $tool >/dev/null || die "$tool is missing (dpkg-dev)"; done
  # shellcheck source=scripts/debian-source.sh
  . "$root/scripts/debian-source.sh"
  apt_update
  # Only the upstream tarball is needed (the mirror may lack the Debian diff
  # of this 1.0-format package); it is checked against the signed .dsc.
  dsc=$srcdir/libglu_${version#*:}.dsc
  (cd "$srcdir" && apt-get "${apt_opts[@]}" source --download-only "libglu=$version") >"$logs/libglu.log" 2>&1 || true
  [ -e "$dsc" ] || { tail -n 20 "$logs/libglu.log" >&2; die "no $dsc; log: $logs/libglu.log"; }
  read -r sum _ tarball < <(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 }
    on && $3 ~ /\.orig\.tar\./ { print; exit }' "$dsc")
  [ -n "${tarball:-}" ] && [ -e "$srcdir/$tarball" ] || die "the upstream tarball of libglu $version is missing"
  echo "$sum  $srcdir/$tarball" | sha256sum -c --quiet - || die "$tarball does not match $dsc"
  rm -rf "$dir" && mkdir -p "$dir"
  tar -xf "$srcdir/$tarball" -C "$dir" --strip-components=1
  [ -d "$dir/src/libtess" ] || die "no src/libtess in libglu $version"
  touch "$dir/.unpacked"
fi
echo "$dir"
