#!/usr/bin/env bash
# Installs what is missing from Debian's packages, then configures and builds
# the show, its tools and its data (the forge runs as part of the build).
# Usage: scripts/setup.sh [--fuzz]   (--fuzz also builds the sanitizer fuzz targets)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libsdl2-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri mesa-utils
  libmpg123-dev libfftw3-dev libfltk1.3-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libfreetype-dev fonts-dejavu-core
  lame libmp3lame-dev libfluidsynth-dev musescore-general-soundfont-small
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xfonts-base x11-utils xdotool xclip ffmpeg
  gnuplot-nox dpkg-dev file
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

jobs=$(nproc)
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"

if [ "${1:-}" = "--fuzz" ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLAXEN_FUZZ=ON -DQUORLAXEN_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs" --target quorlaxen_fuzzers
fi
