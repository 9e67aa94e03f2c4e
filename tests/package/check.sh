#!/usr/bin/env bash
# Builds the release archive and the Debian package and checks them as a
# person would use them.
# Usage: check.sh build|release_folder|debian_contents|debian_depends|install_prefix BUILD_DIR
set -euo pipefail
what=$1
build=$(cd "$2" && pwd)
packages=$build/package-check
# Unpacked copies go where the unprivileged reader below can reach them.
scratch=$(mktemp -d)
chmod 755 "$scratch"
trap 'chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
# A frame with silhouettes, dots and the paper at a size that renders fast.
frame_args=(--at 60 --size 320x180 --quiet)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

one_file() { # the single file a glob names
  local matches=("$@")
  [ ${#matches[@]} -eq 1 ] && [ -f "${matches[0]}" ] || fail "expected one file, found: ${matches[*]}"
  echo "${matches[0]}"
}

# Runs a command as a user that cannot write to the folder under test: as
# root, file modes alone would not stop it.
as_reader() {
  if [ "$(id -u)" -eq 0 ]; then
    setpriv --reuid=nobody --regid=nogroup --clear-groups env HOME=/nonexistent "$@"
  else
    "$@"
  fi
}

# The frame the build tree's own capture program renders, into $1.
reference_frame() {
  "$build/show/quorlaxen-capture" "${frame_args[@]}" -o "$1" || fail "the build tree's capture program failed"
}

fresh_dir() {
  rm -rf "$1"
  mkdir -p "$1"
}

# Where a capture run as another user may write its frame.
output_dir() {
  fresh_dir "$1"
  chmod 1777 "$1"
}

listing() { find "$1" -printf '%P %s %m %T@\n' | sort; }

case $what in
build)
  fresh_dir "$packages"
  cpack --config "$build/CPackConfig.cmake" -B "$packages" >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log" >&2; fail "cpack failed"; }
  one_file "$packages"/quorlaxen_*.deb >/dev/null
  one_file "$packages"/quorlaxen-*.tar.gz >/dev/null
  ;;

release_folder)
  archive=$(one_file "$packages"/quorlaxen-*.tar.gz)
  dir=$scratch/release
  fresh_dir "$dir"
  tar -xzf "$archive" -C "$dir"
  top=$(one_file "$dir"/*/quorlaxen)
  top=$(dirname "$top")
  chmod -R a-w "$dir"
  before=$(listing "$dir")
  out=$scratch/release-out
  output_dir "$out"
  reference_frame "$out/build-tree.png"
  (cd "$top" && as_reader ./quorlaxen-capture "${frame_args[@]}" -o "$out/release.png") ||
    fail "./quorlaxen-capture failed in the read-only release folder"
  cmp "$out/build-tree.png" "$out/release.png" || fail "the release folder's frame differs from the build tree's"
  [ "$before" = "$(listing "$dir")" ] || fail "running from the release folder changed it"
  [ -x "$top/quorlaxen" ] || fail "no ./quorlaxen in the release folder"
  [ -x "$top/quorlaxen-farm" ] || fail "no ./quorlaxen-farm in the release folder"
  ;;

install_prefix)
  # cmake --install into a prefix: the show folder, the links in bin/ that
  # run it from anywhere, the menu entry and the icons; then the uninstall
  # target removes every file it put there. The build folder's own
  # install manifest (a person's real install) is put back afterwards.
  manifest=$build/install_manifest.txt
  [ -f "$manifest" ] && cp -p "$manifest" "$scratch/manifest.saved"
  restore_manifest() {
    if [ -f "$scratch/manifest.saved" ]; then cp -p "$scratch/manifest.saved" "$manifest"; else rm -f "$manifest"; fi
  }
  trap 'restore_manifest; chmod -R u+w "$scratch"; rm -rf "$scratch"' EXIT
  prefix=$scratch/prefix
  cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1 ||
    { cat "$scratch/install.log" >&2; fail "cmake --install failed"; }
  [ -x "$prefix/lib/quorlaxen/quorlaxen" ] || fail "no lib/quorlaxen/quorlaxen"
  [ -f "$prefix/share/applications/quorlaxen.desktop" ] || fail "no menu entry"
  ls "$prefix"/share/icons/hicolor/*/apps/quorlaxen.* >/dev/null 2>&1 || fail "no icons: $(find "$prefix/share" | head)"
  out=$scratch/install-out
  output_dir "$out"
  reference_frame "$out/build-tree.png"
  (cd / && "$prefix/bin/quorlaxen-capture" "${frame_args[@]}" -o "$out/installed.png") ||
    fail "bin/quorlaxen-capture failed"
  cmp "$out/build-tree.png" "$out/installed.png" || fail "the installed program's frame differs from the build tree's"
  installed=$(grep -c . "$manifest")
  cmake --build "$build" --target uninstall >"$scratch/uninstall.log" 2>&1 ||
    { cat "$scratch/uninstall.log" >&2; fail "the uninstall target failed"; }
  left=$(find "$prefix" ! -type d)
  [ -z "$left" ] || fail "uninstall left: $left"
  [ ! -e "$prefix/lib/quorlaxen" ] || fail "uninstall left the show folder"
  ((installed > 10)) || fail "the manifest listed only $installed files"
  ;;

debian_contents)
  deb=$(one_file "$packages"/quorlaxen_*.deb)
  root=$scratch/debian
  fresh_dir "$root"
  dpkg-deb -x "$deb" "$root"
  # The launcher link, started from elsewhere, finds the data beside the
  # real executable.
  [ -L "$root/usr/bin/quorlaxen-capture" ] || fail "usr/bin/quorlaxen-capture is not a link"
  [ -L "$root/usr/bin/quorlaxen" ] && [ -x "$root/usr/bin/quorlaxen" ] || fail "usr/bin/quorlaxen does not lead to the show"
  [ -L "$root/usr/bin/quorlaxen-farm" ] && [ -x "$root/usr/bin/quorlaxen-farm" ] ||
    fail "usr/bin/quorlaxen-farm does not lead to the farm script"
  chmod -R a-w "$root"
  before=$(listing "$root")
  out=$scratch/debian-out
  output_dir "$out"
  reference_frame "$out/build-tree.png"
  (cd / && as_reader "$root/usr/bin/quorlaxen-capture" "${frame_args[@]}" -o "$out/package.png") ||
    fail "the package's capture program failed"
  cmp "$out/build-tree.png" "$out/package.png" || fail "the package's frame differs from the build tree's"
  [ "$before" = "$(listing "$root")" ] || fail "running the package's capture program changed its folder"
  # The menu entry names a launcher and an icon the package holds.
  desktop=$root/usr/share/applications/quorlaxen.desktop
  [ -f "$desktop" ] || fail "no desktop entry"
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [ -x "$root/usr/bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', which the package lacks"
  for size in 48 128 256; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png
    [ -f "$icon" ] || fail "no ${size}x${size} icon '$icon_name'"
    [ "$(ffprobe -v error -select_streams v -show_entries stream=width,height -of csv=p=0 "$icon")" = "$size,$size" ] ||
      fail "$icon is not ${size}x${size}"
  done
  ;;

debian_depends)
  deb=$(one_file "$packages"/quorlaxen_*.deb)
  root=$scratch/depends
  fresh_dir "$root"
  dpkg-deb -x "$deb" "$root"
  depends=$(dpkg-deb -f "$deb" Depends)
  [ -n "$depends" ] || fail "the package declares no dependencies"
  declared=()
  for alternative in $(echo "$depends" | sed -e 's/([^)]*)//g' -e 's/[,|]/ /g'); do declared+=("$alternative"); done
  for name in "${declared[@]}"; do
    case $name in *-dev) fail "the package depends on the build-time package $name" ;; esac
  done
  # Every package the declared ones bring in, as apt would resolve them.
  covered=$(apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "${declared[@]}" | sed -n 's/^<\{0,1\}\([^ >:][^ >:]*\).*/\1/p' | sort -u)
  needs=$scratch/needs # lines: program library
  : >"$needs"
  for program in "$root"/usr/lib/quorlaxen/*; do
    [ -f "$program" ] && [ -x "$program" ] || continue
    [ "$(head -c 4 "$program")" = $'\x7fELF' ] || continue # scripts link nothing
    libraries=$(ldd "$program") || fail "ldd cannot read $program"
    if grep -q "not found" <<<"$libraries"; then fail "$(basename "$program") misses: $(grep "not found" <<<"$libraries")"; fi
    sed -n -e 's/.*=> \(\/[^ ]*\).*/\1/p' -e 's/^[[:space:]]*\(\/[^ ]*\) (.*/\1/p' <<<"$libraries" |
      sed "s|^|$(basename "$program") |" >>"$needs"
  done
  [ -s "$needs" ] || fail "no executables checked"
  # Owners of every library under either /usr layout, in one dpkg query:
  # lines "path package".
  variants() { echo "$1"; readlink -f "$1"; echo "${1#/usr}"; echo "/usr$1"; }
  mapfile -t paths < <(cut -d' ' -f2 "$needs" | sort -u | while read -r l; do variants "$l"; done | sort -u)
  owners=$(dpkg -S "${paths[@]}" 2>/dev/null | sed -n 's/^\([^:,]*\)[^ ]*: \(\/.*\)$/\2 \1/p' || true)
  checked=0
  while read -r program library; do
    package=$(variants "$library" | awk 'NR == FNR { want[$0] = 1; next } ($1 in want) { print $2; exit }' - <(echo "$owners"))
    [ -n "$package" ] || fail "no installed package holds $library (needed by $program)"
    grep -qx "$package" <<<"$covered" ||
      fail "$program needs $library from $package, which the declared dependencies do not bring"
    checked=$((checked + 1))
  done <"$needs"
  echo "$checked libraries covered by: $depends"
  ;;

*)
  fail "unknown check $what"
  ;;
esac
