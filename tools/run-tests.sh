#!/usr/bin/env bash
# Runs every test through Wine: the build's prefix, a private X display for the tests that
# open windows, and one persistent wineserver (Wine's helpers otherwise hold ctest's pipes).
set -euo pipefail
build=${1:-build/mingw}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/wine-env.sh"
source "$here/private-display.sh"
bash "$here/wine-prefix.sh"

cleanup() {
  wineserver -k 2>/dev/null || true
  stop_private_display
}
trap cleanup EXIT
# A zone away from UTC, half an hour off too, so that a log's local time cannot pass for UTC.
export TZ=Asia/Kolkata
start_private_display
start_persistent_wineserver

ctest --test-dir "$build" --output-on-failure ${CTEST_ARGS:-}
