#!/usr/bin/env bash
# The benchmark suite of `make bench`:  run.sh [BUILD_DIR] [PARTS]
# PARTS is a comma-separated choice of size,startup,download,trace,setup (all by default).
# Measures the setup program against baselines taken in the same run and prints one table of
# medians and ratios (report.py). A measurement, not a test: no figure makes it fail; only a
# run that could not measure (a program that would not start, a download that delivered a
# different file) does.
#
# Runs in a Wine prefix of its own (BUILD_DIR/bench-prefix, a copy of the build's), so the
# automatic setups it performs leave nothing behind for the tests, on a private X display and
# against a fresh local update server.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/.." && pwd)
root=$(cd "$tools/.." && pwd)
build=$(cd "${1:-$root/build/mingw}" && pwd)
parts=${2:-size,startup,download,trace,setup}

STARTUP_RUNS=${STARTUP_RUNS:-15}
DOWNLOAD_RUNS=${DOWNLOAD_RUNS:-3}
DOWNLOAD_MIB=${DOWNLOAD_MIB:-256}
SMALL_DOWNLOAD_MIB=16
TRACE_RUNS=${TRACE_RUNS:-7}
SETUP_RUNS=${SETUP_RUNS:-5}

if [ -z "${VELMORA_BENCH_INNER:-}" ]; then
  export VELMORA_WINEPREFIX=$build/bench-prefix
  shared_prefix=$root/build/wineprefix
  if [ ! -f "$VELMORA_WINEPREFIX/.velmora-ready" ] && [ -f "$shared_prefix/.velmora-ready" ]; then
    echo "bench: copying the Wine prefix to $VELMORA_WINEPREFIX" >&2
    rm -rf "$VELMORA_WINEPREFIX"
    cp -a "$shared_prefix" "$VELMORA_WINEPREFIX"
  fi
  source "$tools/wine-env.sh"
  bash "$tools/wine-prefix.sh"

  source "$tools/private-display.sh"
  cleanup() {
    wineserver -k 2>/dev/null || true
    stop_private_display
  }
  trap cleanup EXIT
  start_private_display
  start_persistent_wineserver

  VELMORA_BENCH_INNER=1 VELMORA_SERVER_SECONDS=1500 \
    bash "$tools/with-update-server.sh" "$build" bash "$0" "$build" "$parts"
  exit
fi

bench=$build/bench
source "$tools/wine-env.sh"
source "$tools/build-info.sh"
setup_exe=$(setup_program "$build")
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
samples=$work/samples
: >"$samples"

windows_path() { echo "Z:$1" | tr / '\\'; }
wine_out() { "$tools/wine-run" "$@" | tr -d '\r'; }
# The watcher's figure is its last line; a watched program may write before it (the floor
# writes its line through std::cout into the same output).
watch() { wine_out "$bench/bench_watch.exe" "$@" | tail -n 1; }
record() { echo "$1 $2" >>"$samples"; }
wants() { [[ ",$parts," == *",$1,"* ]]; }
progress() { echo "bench: $*" >&2; }

measure_size() {
  progress "sizes"
  record size_setup "$(stat -c %s "$setup_exe")"
  record size_floor "$(stat -c %s "$bench/bench_floor.exe")"
}

# From process start to the first dialog shown and serving messages, seen from inside Wine.
measure_startup() {
  progress "start-up, $STARTUP_RUNS runs each"
  mkdir -p "$work/startup"
  cp "$setup_exe" "$work/startup/Velmora_Setup.exe"
  local setup floor
  setup=$(windows_path "$work/startup/Velmora_Setup.exe")
  floor=$(windows_path "$bench/bench_floor.exe")
  # The first start of a program under Wine pays for loading its DLLs from disk.
  watch window 30 "$setup" >/dev/null
  watch window 30 "$floor" >/dev/null
  for _ in $(seq "$STARTUP_RUNS"); do
    record startup_setup "$(watch window 30 "$setup")"
    record startup_floor "$(watch window 30 "$floor")"
  done
}

check_download() {  # the file that arrived must be the published one
  cmp -s "$1" "$2" || { echo "bench: $3 delivered a different file" >&2; exit 1; }
  rm -f "$1"
}

curl_seconds() {
  curl -s --cacert "$VELMORA_CERT_DIR/ca.pem" -o "$work/curl.bin" -w '%{time_total}' "$1"
}

# engine scheme port file: one download with the program's engine; records seconds and peak.
engine_download() {
  local engine=$1 url=$2 file=$3 name=$4 figures
  figures=$(wine_out "$bench/download_bench.exe" "$engine" "$url" \
    "$(windows_path "$work/engine.bin")")
  check_download "$work/engine.bin" "$VELMORA_SERVER_ROOT/$file" "$engine"
  record "${name}_seconds" "${figures% *}"
  record "${name}_peak" "${figures#* }"
}

# The program's one engine over both schemes against its platform floor (the same calls in the
# least loop, download_bench.exe) and curl, one after the other in every run so that all share
# the conditions of the moment; the platform's moniker download, which carried http before,
# beside them for comparison.
measure_downloads() {
  progress "downloads of $DOWNLOAD_MIB MiB, $DOWNLOAD_RUNS runs each"
  head -c $((DOWNLOAD_MIB * 1024 * 1024)) /dev/urandom >"$VELMORA_SERVER_ROOT/bench.bin"
  head -c $((SMALL_DOWNLOAD_MIB * 1024 * 1024)) /dev/urandom >"$VELMORA_SERVER_ROOT/small.bin"
  local https=https://localhost:$VELMORA_HTTPS_PORT http=http://localhost:$VELMORA_HTTP_PORT
  record download_mib "$DOWNLOAD_MIB"
  record small_download_mib "$SMALL_DOWNLOAD_MIB"
  local scheme url
  for _ in $(seq "$DOWNLOAD_RUNS"); do
    for scheme in https http; do
      [ "$scheme" = https ] && url=$https || url=$http
      record "curl_${scheme}_seconds" "$(curl_seconds "$url/bench.bin")"
      check_download "$work/curl.bin" "$VELMORA_SERVER_ROOT/bench.bin" curl
      engine_download floor-wininet "$url/bench.bin" bench.bin "floor_wininet_$scheme"
      engine_download direct "$url/bench.bin" bench.bin "direct_$scheme"
    done
    engine_download floor-moniker "$http/bench.bin" bench.bin floor_moniker_http
  done
  # The same engine on a sixteenth of the file: flat memory means the same peak.
  engine_download direct "$https/small.bin" small.bin direct_small
  rm -f "$VELMORA_SERVER_ROOT/bench.bin" "$VELMORA_SERVER_ROOT/small.bin"
}

measure_trace() {
  progress "trace log, $TRACE_RUNS runs"
  local log
  log=$(windows_path "$work/trace_bench.log")
  for _ in $(seq "$TRACE_RUNS"); do
    "$tools/wine-run" "$bench/trace_bench.exe" "$log" 2>&1 >/dev/null | tr -d '\r' >>"$samples"
  done
  rm -f "$work/trace_bench.log"
}

# A whole automatic setup against the local server with the test payloads, each run checked
# by the record the fake agent leaves at its end.
measure_setup() {
  progress "automatic setups, $SETUP_RUNS runs"
  local server=$VELMORA_SERVER_ROOT
  mkdir -p "$server/app/update" "$work/setup"
  cp "$build/fixtures/fake_installer.exe" "$server/app/Velmora ActiveX 7i_jp.exe"
  cp "$build/fixtures/fake_agent.exe" "$server/app/update/QLUpdate.exe"
  printf '<servicename>BenchSite</servicename>\n' >"$server/app/update/velmora_server.exe"
  local program=$work/setup/Velmora_Setup_http_127.0.0.1_$VELMORA_HTTP_PORT.exe
  cp "$setup_exe" "$program"
  local record_file=$work/setup/record.txt
  export VELMORA_FIXTURE_RECORD
  VELMORA_FIXTURE_RECORD=$(windows_path "$record_file")

  local installer agent
  installer=$(windows_path "$build/fixtures/fake_installer.exe")
  agent=$(windows_path "$build/fixtures/fake_agent.exe")
  watch run 60 "$(windows_path "$program")" >/dev/null
  for i in $(seq "$SETUP_RUNS"); do
    : >"$record_file"
    record setup_seconds "$(watch run 60 "$(windows_path "$program")")"
    if ! grep -q '^program=fake_agent' "$record_file"; then
      echo "bench: automatic setup $i did not reach the update agent" >&2
      exit 1
    fi
    record payload_installer_seconds "$(watch run 30 "$installer")"
    record payload_agent_seconds "$(watch run 30 "$agent")"
  done
}

wants size && measure_size
wants startup && measure_startup
wants download && measure_downloads
wants trace && measure_trace
wants setup && measure_setup
# The raw samples stay beside the bench programs for a closer look.
cp "$samples" "$bench/samples.txt"
python3 "$here/report.py" "$samples"
