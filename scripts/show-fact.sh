#!/usr/bin/env bash
# show-fact.sh NAME: prints one constant of the show from the header that
# holds it, so that scripts never restate it:
#   show_end_time    seconds of show time (src/parts/show_clock.h)
#   default_fps, default_width, default_height
#                    the frames drawn unless told otherwise (tools/common/common.h)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
value=$(sed -n "s/^ *constexpr [a-z]* ${1:?usage: show-fact.sh NAME} = \([0-9.]*\);.*/\1/p" \
  "$root/src/parts/show_clock.h" "$root/tools/common/common.h")
[ -n "$value" ] || {
  echo "show-fact.sh: no constant $1" >&2
  exit 2
}
echo "$value"
