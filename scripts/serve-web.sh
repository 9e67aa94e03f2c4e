#!/usr/bin/env bash
# Serves the site folder that scripts/build-web.sh made on 127.0.0.1 and
# prints its address; Ctrl+C stops it. Any static web server serves the
# folder as it is.
# Usage: scripts/serve-web.sh [PORT] [SITE_DIR]   (defaults: 8080, build-web/site)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
port=${1:-8080}
site=${2:-$root/build-web/site}
[ -f "$site/index.html" ] || { echo "no site in $site: run scripts/build-web.sh first" >&2; exit 1; }
echo "http://127.0.0.1:$port/"
exec python3 -m http.server "$port" --bind 127.0.0.1 --directory "$site"
