#!/usr/bin/env bash
# Runs every test through Wine: the build's prefix, a private X display for the tests that
# open windows, and one persistent wineserver (Wine's helpers otherwise hold ctest's pipes).
set -euo pipefail
build=${1:-build/mingw}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
bash "$here/wine-prefix.sh"

display=""
xvfb_pid=""
cleanup() {
  wineserver -k 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

for n in $(seq 90 130); do
  if [ ! -e /tmp/.X11-unix/X$n ] && [ ! -e /tmp/.X$n-lock ]; then display=":$n"; break; fi
done
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
export DISPLAY=$display
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

wineserver -k 2>/dev/null || true
wineserver -w 2>/dev/null || true
wineserver -p
wine cmd /c exit >/dev/null 2>&1 || true

ctest --test-dir "$build" --output-on-failure ${CTEST_ARGS:-}
