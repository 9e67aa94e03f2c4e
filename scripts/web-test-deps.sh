#!/usr/bin/env bash
# Installs what the browser tests (tests/web) need when it is missing:
# Debian's chromium-headless-shell (and, for the cases also run in Firefox,
# firefox-esr and pulseaudio), and puppeteer-core from npm into
# DIR/node_modules. With all of it present it asks nobody anything.
# Usage: scripts/web-test-deps.sh [DIR]      (default: <repo>/build-web/test-tools)
# Progress goes to stderr; the last line on stdout is the node_modules folder,
# so QUORLAXEN_WEB_TOOLS=$(scripts/web-test-deps.sh) works.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dir=${1:-$root/build-web/test-tools}
mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
# The major version the driver is written against; a new major may change
# the launch options or the page API.
puppeteer="puppeteer-core@25"

die() { echo "web-test-deps: $*" >&2; exit 1; }

missing=()
for p in chromium-headless-shell firefox-esr pulseaudio; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "web-test-deps: installing ${missing[*]}" >&2
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
[ -x /usr/bin/chromium-headless-shell ] || die "no /usr/bin/chromium-headless-shell after the install"

if [ ! -f "$dir/node_modules/puppeteer-core/package.json" ]; then
  command -v npm >/dev/null || die "npm is missing"
  echo "web-test-deps: installing $puppeteer into $dir" >&2
  # One run at a time: two npm installs into one folder break each other.
  exec 9>"$dir/.lock"
  flock 9
  if [ ! -f "$dir/node_modules/puppeteer-core/package.json" ]; then
    # puppeteer-core downloads no browser; the scripts are turned off anyway,
    # since nothing in the tree needs one.
    npm install --prefix "$dir" --no-audit --no-fund --ignore-scripts --loglevel=error "$puppeteer" >&2
  fi
fi
echo "$dir/node_modules"
