#!/usr/bin/env bash
# Download throughput of the program's engines against curl, on the local update server:
#   bench-download.sh [BUILD_DIR] [MIB]
# Publishes a MIB-sized file (256 by default) and fetches it over http and https with the
# WinINet engine, the platform's moniker download and curl, in the same run; prints MiB/s and
# each engine's ratio to curl. A measurement, not a test: nothing fails on slow figures.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../build/mingw}
mib=${2:-256}

if [ -z "${VELMORA_SERVER_ROOT:-}" ]; then
  source "$here/wine-env.sh"
  bash "$here/wine-prefix.sh"
  wineserver -p 2>/dev/null || true
  trap 'wineserver -k 2>/dev/null || true' EXIT
  bash "$here/with-update-server.sh" "$build" bash "$0" "$build" "$mib"
  exit
fi

head -c $((mib * 1024 * 1024)) /dev/urandom >"$VELMORA_SERVER_ROOT/bench.bin"
out=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")
trap 'rm -rf "$out"' EXIT
bench_exe=$build/fixtures/download_bench.exe
target_w=$(echo "Z:$out/engine.bin" | tr / '\\')

rate() { awk -v mib="$mib" -v s="$1" 'BEGIN { printf "%.1f", mib / s }'; }
ratio() { awk -v curl="$1" -v engine="$2" 'BEGIN { printf "%.2f", curl / engine }'; }

check() {  # the file that arrived must be the published one
  cmp -s "$1" "$VELMORA_SERVER_ROOT/bench.bin" || { echo "bench: $2 delivered a different file" >&2; exit 1; }
  rm -f "$1"
}

printf '%-6s %-8s %10s %12s\n' scheme engine "MiB/s" "engine/curl"
for scheme in http https; do
  if [ "$scheme" = http ]; then port=$VELMORA_HTTP_PORT; else port=$VELMORA_HTTPS_PORT; fi
  url="$scheme://localhost:$port/bench.bin"
  curl_s=$(curl -s --cacert "$VELMORA_CERT_DIR/ca.pem" -o "$out/curl.bin" -w '%{time_total}' "$url")
  check "$out/curl.bin" curl
  printf '%-6s %-8s %10s %12s\n' "$scheme" curl "$(rate "$curl_s")" 1.00
  engines=(wininet)
  [ "$scheme" = http ] && engines+=(moniker)
  for engine in "${engines[@]}"; do
    s=$("$here/wine-run" "$bench_exe" "$engine" "$url" "$target_w" | tr -d '\r')
    check "$out/engine.bin" "$engine"
    printf '%-6s %-8s %10s %12s\n' "$scheme" "$engine" "$(rate "$s")" "$(ratio "$curl_s" "$s")"
  done
done
