# Fetching Debian source packages with a private source list and private
# indexes, so the machine's apt setup is neither needed nor changed. Sourced
# by the scripts that build what a target lacks from Debian's sources; the
# caller sets aptdir (indexes), logs, srcdir (downloads and unpacked trees)
# and a die function.
codename=$(. /etc/os-release 2>/dev/null; echo "${VERSION_CODENAME:-bookworm}")
mirror() {
  local f=/etc/apt/sources.list.d/debian.sources uri=""
  if [ -r "$f" ]; then
    # The first stanza whose Suites carries the plain release name.
    uri=$(awk -v c="$codename" '
      /^[ \t]*$/ { if (u != "" && s) { print u; exit } u = ""; s = 0; next }
      /^URIs:/ { u = $2 }
      /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == c) s = 1 }
      END { if (u != "" && s) print u }' "$f" | head -n1)
  fi
  echo "${uri:-http://deb.debian.org/debian}"
}
apt_opts=(
  -o Dir::Etc::SourceList="$aptdir/sources.list" -o Dir::Etc::SourceParts=-
  -o Dir::State::Lists="$aptdir/lists" -o Dir::Cache="$aptdir/cache"
)
apt_ready=""
apt_update() {
  [ -n "$apt_ready" ] && return
  mkdir -p "$aptdir/lists/partial" "$aptdir/cache/archives/partial"
  echo "deb-src [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] $(mirror) $codename main" \
    >"$aptdir/sources.list"
  apt-get "${apt_opts[@]}" update >"$logs/apt-update.log" 2>&1 || {
    tail -n 20 "$logs/apt-update.log" >&2
    die "apt-get update with $aptdir/sources.list failed; log: $logs/apt-update.log"
  }
  apt_ready=1
}
# Highest version of a source package in the private index.
source_version() {
  local best="" v
  for v in $(apt-cache "${apt_opts[@]}" showsrc --only-source "$1" 2>/dev/null | sed -n 's/^Version: //p'); do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then best=$v; fi
  done
  [ -n "$best" ] || die "no source package $1 in $codename"
  echo "$best"
}

# Downloads pkg=version into $srcdir and unpacks it into
# $srcdir/<pkg>-<version>. Files are checked against the .dsc, which apt
# checked against the signed index.
fetch() { # pkg version
  local pkg=$1 version=$2
  local dsc=$srcdir/${pkg}_${version#*:}.dsc
  local ok=1
  (cd "$srcdir" && apt-get "${apt_opts[@]}" source --download-only "$pkg=$version") || ok=0
  [ -e "$dsc" ] || { echo "no $dsc" >&2; return 1; }
  local files
  files=$(awk '/^Checksums-Sha256:/ { on = 1; next } /^[^ ]/ { on = 0 } on && NF == 3' "$dsc")
  # Some mirrors lack upstream signature files (*.asc); they are not needed
  # to unpack, everything else must be there and match.
  local sum size name missing=()
  while read -r sum size name; do
    if [ ! -e "$srcdir/$name" ]; then
      [[ $name == *.asc ]] || { echo "missing $name" >&2; return 1; }
      missing+=("$name")
    else
      echo "$sum  $srcdir/$name" | sha256sum -c --quiet - || return 1
    fi
  done <<<"$files"
  ((ok)) || ((${#missing[@]})) || return 1
  # Other versions' files would only pile up.
  local f
  for f in "$srcdir/${pkg}_"*; do
    [ "$f" = "$dsc" ] || [[ $'\n'$files$'\n' == *" ${f##*/}"$'\n'* ]] || rm -f "$f"
  done
  local dir=$srcdir/$pkg-${version#*:}
  rm -rf "$dir"
  if ((${#missing[@]})); then
    echo "not on the mirror, skipped: ${missing[*]}"
    # dpkg-source insists on every listed file, so unpack a copy of the .dsc
    # without them; the checksums were verified above.
    local copy=$srcdir/unpack.dsc
    grep -vF -e "${missing[@]/#/ }" "$dsc" >"$copy"
    dpkg-source --no-check -x "$copy" "$dir"
    rm -f "$copy"
  else
    dpkg-source -x "$dsc" "$dir"
  fi
}

# --- Libraries built from those sources, each once per version and recipe ---
# The caller sets stamps and prefix, a `product` table (package -> a file in
# the prefix that its build leaves) and a build_<package> function per
# package ('.' and '-' as '_'). A library counts as built when its stamp
# exists, names the current recipe (so editing its build function rebuilds
# it) and its product is still in the prefix (someone may have deleted the
# prefix, not the stamps).
recipe() { local f=${1//./_}; declare -f "build_${f//-/_}" | sha256sum | cut -c1-16; }
built() { # pkg [version]
  local s r
  r="recipe $(recipe "$1")"
  for s in "$stamps/$1_"${2:-*}; do
    [ -e "$s" ] && grep -qxF "$r" "$s" && [ -e "$prefix/${product[$1]}" ] && return 0
  done
  return 1
}
stamp() { # pkg version
  rm -f "$stamps/$1_"*
  echo "recipe $(recipe "$1")" >"$stamps/$1_$2"
}

# Runs one library's build (FUNCTION, default build_source) with its output
# in logs/<pkg>.log; on failure shows the log's tail and stops.
declare -A seconds=()
step() { # pkg version [function]
  local pkg=$1 version=$2 fn=${3:-build_source} log=$logs/$1.log start=$SECONDS
  printf '%-14s %-24s ' "$pkg" "$version" >&2
  # Not "if ! ( ... )": bash ignores set -e inside a tested subshell.
  local rc
  set +e
  ( set -e; "$fn" "$version" ) >"$log" 2>&1
  rc=$?
  set -e
  if ((rc)); then
    echo "FAILED" >&2
    tail -n 40 "$log" >&2
    die "building $pkg $version failed; full log: $log"
  fi
  stamp "$pkg" "$version"
  seconds[$pkg]=$((SECONDS - start))
  echo "${seconds[$pkg]} s" >&2
}
