#!/usr/bin/env bash
# The benchmark suite of `make bench`:  run.sh [--runs N] [--parts LIST] BUILD_DIR...
# LIST is a comma-separated choice of size,startup,download,trace,setup,pin (all by default).
# Measures the setup program of each build against floors taken in the same run, each floor
# right before its figure, and prints one table with a column per build (report.py): every
# figure's median and spread, its ratio to its floor, and whether the goal is met. With N runs,
# each whole run is made N times, the builds taking turns, and a goal counts as met when the
# median of the N runs' ratios meets it. A measurement, not a test: no figure makes it fail;
# only a run that could not measure does (a process that died twice while measuring one
# figure, a download that delivered a different file).
#
# Runs in a Wine prefix of its own (build/bench-prefix, a copy of the build's), one wineserver
# and one private X display for all builds, so the automatic setups it performs leave nothing
# behind for the tests, against one fresh local update server.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
tools=$(cd "$here/.." && pwd)
root=$(cd "$tools/.." && pwd)

runs=1
parts=size,startup,download,trace,setup,pin
builds=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=${2:?}; shift 2 ;;
    --parts) parts=${2:?}; shift 2 ;;
    *) builds+=("$(cd "$1" && pwd)"); shift ;;
  esac
done
[ ${#builds[@]} -gt 0 ] || builds=("$root/build/mingw")
[[ "$runs" =~ ^[1-9][0-9]*$ ]] || { echo "bench: RUNS must be a positive number, not '$runs'" >&2; exit 1; }

STARTUP_RUNS=${STARTUP_RUNS:-30}
DOWNLOAD_RUNS=${DOWNLOAD_RUNS:-5}
DOWNLOAD_MIB=${DOWNLOAD_MIB:-128}
SMALL_DOWNLOAD_MIB=8
TRACE_RUNS=${TRACE_RUNS:-3}
TRACE_ROUNDS=${TRACE_ROUNDS:-10}
PIN_RUNS=${PIN_RUNS:-21}
SETUP_RUNS=${SETUP_RUNS:-5}

# The build's name in the table, from the toolchain it was configured with.
build_label() {
  case "$(sed -n 's/^CMAKE_TOOLCHAIN_FILE:[^=]*=//p' "$1/CMakeCache.txt")" in
    *x86_64*) echo 64-bit ;;
    *) echo 32-bit ;;
  esac
}

if [ -z "${VELMORA_BENCH_INNER:-}" ]; then
  export VELMORA_WINEPREFIX=$root/build/bench-prefix
  shared_prefix=$root/build/wineprefix
  if [ ! -f "$VELMORA_WINEPREFIX/.velmora-ready" ] && [ -f "$shared_prefix/.velmora-ready" ]; then
    echo "bench: copying the Wine prefix to $VELMORA_WINEPREFIX" >&2
    rm -rf "$VELMORA_WINEPREFIX"
    cp -a "$shared_prefix" "$VELMORA_WINEPREFIX"
  fi
  source "$tools/wine-env.sh"
  bash "$tools/wine-prefix.sh"

  source "$tools/private-display.sh"
  out=$root/build/bench-results
  cleanup() {
    wineserver -k 2>/dev/null || true
    stop_private_display
  }
  trap cleanup EXIT
  start_private_display
  start_persistent_wineserver
  rm -rf "$out"
  mkdir -p "$out"

  VELMORA_BENCH_INNER=$out VELMORA_SERVER_SECONDS=$((1500 * runs * ${#builds[@]})) \
    bash "$tools/with-update-server.sh" "${builds[0]}" \
    bash "$0" --runs "$runs" --parts "$parts" "${builds[@]}"
  columns=()
  for build in "${builds[@]}"; do
    label=$(build_label "$build")
    files=$(ls "$out"/samples-"$label"-*.txt | paste -sd, -)
    columns+=("$label=$files")
  done
  python3 "$here/report.py" "${columns[@]}"
  exit
fi

out=$VELMORA_BENCH_INNER
source "$tools/wine-env.sh"
source "$tools/build-info.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT

windows_path() { echo "Z:$1" | tr / '\\'; }
wine_out() { "$tools/wine-run" "$@" | tr -d '\r'; }
record() { echo "$1 $2" >>"$samples"; }
wants() { [[ ",$parts," == *",$1,"* ]]; }
progress() { echo "bench: $*" >&2; }

# How a process ended, from the status the shell saw.
how_it_ended() {
  if [ "$1" -gt 128 ] && [ "$1" -le 192 ]; then
    echo "was killed by SIG$(kill -l $(($1 - 128)) 2>/dev/null || echo $(($1 - 128)))"
  else
    echo "ended with exit code $1"
  fi
}

# measure FIGURE PROCESS COMMAND...: runs COMMAND and leaves what it printed in $measured. A
# run that does not end well is named, with its process and the figure it was measuring, and
# made once more; a second such run ends the bench with that line. Under 32-bit Wine about one
# http download in a hundred ends so, killed by SIGSEGV after its figure was printed: WinINet
# starts its keep-alive collector thread when the request handle closes, and Wine's signal
# handler faults on that thread if the process ends before the thread has started.
measured=""
measure() {
  local figure=$1 process=$2 attempt status line
  shift 2
  for attempt in 1 2; do
    status=0
    measured=$("$@") || status=$?
    [ "$status" -eq 0 ] && return 0
    line="bench: $process $(how_it_ended "$status") while measuring $figure ($label build)"
    if [ "$attempt" -eq 1 ]; then
      echo "$line; measuring it once more" >&2
    else
      echo "$line again; giving up" >&2
      exit 1
    fi
  done
}

# The watcher's figure is its last line; a watched program may write before it (the floor
# writes its line through std::cout into the same output).
watch() { wine_out "$bench/bench_watch.exe" "$@" | tail -n 1; }
# watch_as FIGURE MODE LIMIT PROGRAM: records the seconds under FIGURE.
watch_as() {
  measure "$1" "bench_watch.exe watching $(basename "${4//\\//}")" watch "$2" "$3" "$4"
  record "$1" "$measured"
}

measure_size() {
  progress "sizes"
  record size_setup "$(stat -c %s "$setup_exe")"
  record size_floor "$(stat -c %s "$bench/bench_floor.exe")"
  # The stamping tool is built beside the setup program.
  record size_stamp "$(stat -c %s "$(dirname "$setup_exe")/velmora-stamp.exe")"
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
  measure "start-up" "bench_watch.exe" watch window 30 "$setup"
  measure "start-up" "bench_watch.exe" watch window 30 "$floor"
  for _ in $(seq "$STARTUP_RUNS"); do
    watch_as startup_floor window 30 "$floor"
    watch_as startup_setup window 30 "$setup"
  done
}

check_download() {  # the file that arrived must be the published one
  cmp -s "$1" "$2" || { echo "bench: $3 delivered a different file" >&2; exit 1; }
  rm -f "$1"
}

curl_seconds() {
  curl -s --cacert "$VELMORA_CERT_DIR/ca.pem" -o "$work/curl.bin" -w '%{time_total}' "$1"
}

# engine url file name: one download with the program's engine; records seconds and peak.
engine_download() {
  local engine=$1 url=$2 file=$3 name=$4
  measure "$name" "download_bench.exe $engine" \
    wine_out "$bench/download_bench.exe" "$engine" "$url" "$(windows_path "$work/engine.bin")"
  check_download "$work/engine.bin" "$VELMORA_SERVER_ROOT/$file" "$engine"
  record "${name}_seconds" "${measured% *}"
  record "${name}_peak" "${measured#* }"
}

# The program's one engine over both schemes right after its platform floor (the same calls in
# the least loop, download_bench.exe), with curl beside them for context; the platform's moniker
# download, which carried http before, beside them for comparison.
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
      measure "curl $scheme" curl curl_seconds "$url/bench.bin"
      record "curl_${scheme}_seconds" "$measured"
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

# The figures come on standard error: the trace lines take standard output.
trace_figures() { "$tools/wine-run" "$bench/trace_bench.exe" "$@" 2>&1 >/dev/null | tr -d '\r'; }

measure_trace() {
  progress "trace log, $TRACE_RUNS runs of $TRACE_ROUNDS rounds"
  local log
  log=$(windows_path "$work/trace_bench.log")
  for _ in $(seq "$TRACE_RUNS"); do
    measure "the trace log" trace_bench.exe trace_figures "$log" "$TRACE_ROUNDS"
    echo "$measured" >>"$samples"
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
  measure "an automatic setup" "bench_watch.exe" watch run 60 "$(windows_path "$program")"
  for i in $(seq "$SETUP_RUNS"); do
    : >"$record_file"
    watch_as setup_seconds run 60 "$(windows_path "$program")"
    if ! grep -q '^program=fake_agent' "$record_file"; then
      echo "bench: automatic setup $i did not reach the update agent ($label build)" >&2
      exit 1
    fi
    watch_as payload_installer_seconds run 30 "$installer"
    watch_as payload_agent_seconds run 30 "$agent"
  done
}

# One publisher check on each fixture program signed by the test publisher, with its pin
# (tools/sign-test-programs.sh), against the bare WinVerifyTrust it starts with.
measure_pin() {
  progress "publisher checks, $PIN_RUNS runs on each signed fixture"
  local pin
  pin=$(sed -n 's/^PUBLISHER=//p' "$build/test-signed/pins.txt")
  for program in fake_installer fake_agent; do
    measure "publisher check" pin_bench.exe wine_out "$bench/pin_bench.exe" \
      "$(windows_path "$build/test-signed/${program}_pinned.exe")" "$pin" "$PIN_RUNS"
    echo "$measured" >>"$samples"
  done
}

# One whole run of the chosen parts on one build, into its own samples file.
measure_build() {
  build=$1
  label=$(build_label "$build")
  bench=$build/bench
  setup_exe=$(setup_program "$build")
  samples=$out/samples-$label-$2.txt
  : >"$samples"
  progress "run $2 of $runs, $label build"
  # Each build's programs trust the local server's authority for themselves.
  "$tools/wine-run" "$build/fixtures/trust_ca.exe" "$(windows_path "$VELMORA_CERT_DIR/ca.der")"
  wants size && measure_size
  wants startup && measure_startup
  wants download && measure_downloads
  wants trace && measure_trace
  wants setup && measure_setup
  wants pin && measure_pin
  return 0
}

for run in $(seq "$runs"); do
  for build_dir in "${builds[@]}"; do
    measure_build "$build_dir" "$run"
  done
done
