#!/usr/bin/env bash
# sanitized-show.sh SANITIZED_SHOW_DIR SHOW_DIR [FPS] [SIZE]: renders the whole
# show with the capture program built under AddressSanitizer and
# UndefinedBehaviorSanitizer (scripts/setup.sh --fuzz builds it in
# build/asan), once with multisampling and once without, at a small size and
# a low rate, then writes one second of it as PNG frames (read-back and
# files). The sanitized show folder gets the normal one's data by links.
# Any sanitizer report, or any other failure, fails the run.
set -euo pipefail
sanitized=$1 show=$2 fps=${3:-4} size=${4:-320x180}
capture=$sanitized/quorlaxen-capture
[ -x "$capture" ] || { echo "missing sanitized capture $capture (run scripts/setup.sh --fuzz)"; exit 1; }
grep -q __asan_init < <(nm "$capture") || { echo "$capture is not built with the sanitizers"; exit 1; }
for data in meshes music textures cgeffects; do
  [ -e "$show/$data" ] || { echo "missing $show/$data (build the show first)"; exit 1; }
  ln -sfn "$(cd "$show/$data" && pwd)" "$sanitized/$data"
done
log=$(mktemp)
frames_dir=$(mktemp -d)
trap 'rm -rf "$log" "$log.out" "$frames_dir"' EXIT
# The GL driver keeps its allocations until exit: leaks are not looked for.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=0:exitcode=86
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
passes=("whole show|" "whole show, no multisampling|--no-aa" "one second to PNG files|--from 100 --to 101 -o $frames_dir/")
for entry in "${passes[@]}"; do
  name=${entry%%|*} pass=${entry#*|}
  start=$(date +%s%N)
  status=0
  "$capture" --size "$size" --fps "$fps" --quiet --stats /dev/null $pass >"$log.out" 2>"$log" || status=$?
  end=$(date +%s%N)
  frames=$(sed -n 's/^frames=//p' "$log.out")
  printf '%s, %s at %s frames/s: %s frames, %d.%d s, exit code %d\n' "$name" "$size" "$fps" \
    "${frames:-?}" $(((end - start) / 1000000000)) $(((end - start) / 100000000 % 10)) "$status"
  if [ "$status" -ne 0 ] || grep -qE 'runtime error|ERROR: AddressSanitizer|SUMMARY: (Address|UndefinedBehavior)Sanitizer' "$log"; then
    cat "$log"
    exit 1
  fi
done
