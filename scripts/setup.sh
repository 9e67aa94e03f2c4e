#!/usr/bin/env bash
# Installs what is missing from Debian's packages, then configures and builds
# the show, its tools and its data (the forge runs as part of the build).
# Usage: scripts/setup.sh [--fuzz | --show]
#   --fuzz  also makes the sanitizer builds: the fuzz targets in build/fuzz,
#           the capture program in build/asan, the show, the capture
#           program and the viewer in build/tsan, the same three over OpenGL
#           ES 3 in build/es3, the unit tests that need no GL with
#           Emscripten in build/wasm (with the browser's libraries from
#           Debian's sources in build-web/deps), the show for web browsers
#           in build-web/site; and installs Wine for the tests of the
#           Windows build, GNU parallel, an ssh server and Slurm for the
#           farm's tests, PulseAudio for the tests of sound, and Chromium's
#           headless shell and puppeteer-core for the browser's tests
#   --show  builds only the show folder (the programs and their data), with
#           a short progress instead of the build log
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

packages=(
  build-essential cmake ninja-build pkg-config clang libclang-rt-14-dev
  libsdl2-dev libglew-dev libglu1-mesa-dev libgl1-mesa-dri libegl-dev libegl-mesa0 mesa-utils
  libmpg123-dev libfftw3-dev libfltk1.3-dev
  libjpeg62-turbo-dev libjpeg-turbo-progs libpng-dev libfreetype-dev fonts-dejavu-core
  lame libmp3lame-dev libfluidsynth-dev musescore-general-soundfont-small
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xfonts-base x11-utils xdotool xclip ffmpeg
  gnuplot-nox dpkg-dev file
)
# The test command also runs the Windows build under Wine, the render farm
# through GNU parallel (local workers and an sshd of the test's own on
# 127.0.0.1) and a one-node Slurm cluster the test starts, and plays sound
# through a PulseAudio server of its own (libpulse-dev for the recorder of
# its null sink).
if [ "${1:-}" = "--fuzz" ]; then
  packages+=(wine wine64 parallel rsync openssh-server openssh-client slurm-wlm munge)
  packages+=(pulseaudio pulseaudio-utils libpulse-dev)
  # The OpenGL ES 3 flavour: GLES headers, and GLU's tessellator from
  # Debian's source package (fetched against the archive's keyring).
  packages+=(libgles-dev debian-archive-keyring)
  # Emscripten for the WebAssembly tests (its optimiser loads Debian's
  # acorn), which build GoogleTest from Debian's source of it.
  packages+=(emscripten node-acorn googletest)
fi
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

# Builds a target with one progress line (on a terminal, rewritten in place)
# and the lines of the long forge steps; the whole log goes to a file and
# its end is shown only when the build fails.
build_with_progress() {
  local log=build/build.log tty=0 shown=-1 line step total percent
  [ -t 1 ] && tty=1
  echo "Building the show and its data (log: $log)"
  set +e
  cmake --build build -j"$jobs" --target "$1" 2>&1 | tee "$log" | while IFS= read -r line; do
    [[ $line =~ ^\[([1-9][0-9]*)/([0-9]+)\]\ (.*)$ ]] || continue
    step=${BASH_REMATCH[1]} total=${BASH_REMATCH[2]} percent=$((100 * BASH_REMATCH[1] / BASH_REMATCH[2]))
    if [[ ${BASH_REMATCH[3]} == Forging* ]]; then
      ((tty)) && printf '\r\033[K'
      echo "  ${BASH_REMATCH[3]}"
    fi
    if ((tty)); then
      printf '\r\033[K  %d/%d steps (%d%%)' "$step" "$total" "$percent"
    elif ((percent / 25 > shown)); then
      shown=$((percent / 25))
      echo "  $step/$total steps ($percent%)"
    fi
  done
  local status=${PIPESTATUS[0]}
  set -e
  ((tty)) && printf '\r\033[K'
  if ((status != 0)); then
    tail -n 40 "$log" >&2
    echo "The build failed; the whole log is $log" >&2
    exit "$status"
  fi
}

if [ "${1:-}" = "--show" ]; then
  build_with_progress show_folder
else
  cmake --build build -j"$jobs"
fi

if [ "${1:-}" = "--fuzz" ]; then
  CC=clang CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLAXEN_FUZZ=ON -DQUORLAXEN_TESTS=OFF >/dev/null
  cmake --build build/fuzz -j"$jobs" --target quorlaxen_fuzzers
  CC=clang CXX=clang++ cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLAXEN_SANITIZE=ON -DQUORLAXEN_TESTS=OFF >/dev/null
  cmake --build build/asan -j"$jobs" --target quorlaxen-capture
  # ThreadSanitizer: only the programs its test runs.
  CC=clang CXX=clang++ cmake -S . -B build/tsan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORLAXEN_TSAN=ON -DQUORLAXEN_TESTS=OFF >/dev/null
  cmake --build build/tsan -j"$jobs" --target quorlaxen quorlaxen-capture quorlaxen-viewer
  # The show, the capture program and the viewer over OpenGL ES 3, with the
  # data forged above; their frames are compared with this build's.
  cmake -S . -B build/es3 -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUORLAXEN_GL=es3 \
    -DQUORLAXEN_TESTS=OFF -DQUORLAXEN_DATA_FROM="$root/build/show" >/dev/null
  cmake --build build/es3 -j"$jobs"
  # The unit tests that need no GL, as WebAssembly for Node.
  scripts/build-wasm-tests.sh build/wasm
  # The show for web browsers (the site in build-web/site) and what its
  # tests drive: Chromium's headless shell and puppeteer-core.
  scripts/build-web.sh >/dev/null
  scripts/web-test-deps.sh >/dev/null
fi
