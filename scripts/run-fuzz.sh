#!/usr/bin/env bash
# run-fuzz.sh BINARY NAME SECONDS: runs one libFuzzer target for a bounded
# time over a scratch copy of its seed corpus (fuzz/corpus/NAME); any crash,
# leak or sanitizer report fails the run.
set -euo pipefail
binary=$1 name=$2 seconds=$3
root=$(cd "$(dirname "$0")/.." && pwd)
[ -x "$binary" ] || { echo "missing fuzz binary $binary (run scripts/setup.sh --fuzz)"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/corpus"
[ -d "$root/fuzz/corpus/$name" ] && cp -r "$root/fuzz/corpus/$name/." "$work/corpus/"
cd "$work"
"$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 -print_final_stats=1 corpus
