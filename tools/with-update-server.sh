#!/usr/bin/env bash
# Runs one Windows test program against a fresh local update server:
#   with-update-server.sh [--nginx] BUILD_DIR PROGRAM [ARGS...]
# A PROGRAM ending in .exe runs under Wine, anything else (a script) as it is.
# Makes the test certificates once per build and has the prefix trust their authority, starts
# the server on an empty folder of its own, and hands the program, through the environment
# (Wine passes it on), the ports and the folder:
#   VELMORA_HTTP_PORT, VELMORA_HTTPS_PORT, VELMORA_HTTPS_MISMATCH_PORT,
#   VELMORA_HTTPS_UNTRUSTED_PORT, VELMORA_HTTPS_EXPIRED_PORT, VELMORA_CLOSED_PORT (nobody listens there) and
#   VELMORA_SERVER_ROOT_W (the folder as Z:\... for the program), VELMORA_SIGNED_DIR_W (the
#   fixture programs signed by tools/sign-test-programs.sh); for scripts also
#   VELMORA_SERVER_ROOT and VELMORA_CERT_DIR (Unix paths).
# With --nginx the server is Debian's nginx instead of tools/update_server.py: plain files over
# http and https only (no mismatch or untrusted port, no faults), from tools/nginx/velmora.conf.in.
# The server is stopped however the program ends; its log is shown when the program fails.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
server=python
if [ "${1:-}" = --nginx ]; then
  server=nginx
  shift
fi
build=$(cd "${1:?usage: with-update-server.sh [--nginx] BUILD_DIR PROGRAM [ARGS...]}" && pwd)
shift
source "$here/wine-env.sh"

certs=$build/test-certs
bash "$here/make-test-certs.sh" "$certs"
"$here/wine-run" "$build/fixtures/trust_ca.exe" "$(echo "Z:$certs/ca.der" | tr / '\\')"
bash "$here/sign-test-programs.sh" "$build"
VELMORA_SIGNED_DIR_W=$(echo "Z:$build/test-signed" | tr / '\\')
export VELMORA_SIGNED_DIR_W

work=$(mktemp -d "${TMPDIR:-/tmp}/velmora-server.XXXXXX")
server_pid=""
stop_server_process() {
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
    server_pid=""
  fi
}
stop_server() {
  stop_server_process
  rm -rf "$work"
}
trap stop_server EXIT

mkdir "$work/root"
free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
answers() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start_python() {
  python3 "$here/update_server.py" --root "$work/root" --port-file "$work/ports" \
    --cert-dir "$certs" --max-seconds "${VELMORA_SERVER_SECONDS:-600}" \
    --max-requests "${VELMORA_SERVER_REQUESTS:-2000}" 2>"$work/server.log" &
  server_pid=$!
  for _ in $(seq 100); do
    [ -f "$work/ports" ] && return 0
    kill -0 "$server_pid" 2>/dev/null || return 1
    sleep 0.1
  done
  return 1
}

# nginx cannot report a port it chose itself: two free ports are picked and handed to it, and
# when another process takes one first, nginx fails to bind and is started again on new ones.
start_nginx() {
  local attempt http https
  mkdir "$work/nginx"
  for attempt in 1 2 3; do
    http=$(free_port)
    https=$(free_port)
    [ "$http" != "$https" ] || continue
    sed -e "s|@WORK@|$work/nginx|g" -e "s|@ROOT@|$work/root|g" -e "s|@CERT_DIR@|$certs|g" \
      -e "s|@HTTP_PORT@|$http|g" -e "s|@HTTPS_PORT@|$https|g" -e "s|@USER@|$(id -un)|g" \
      -e "s|@GROUP@|$(id -gn)|g" \
      "$here/nginx/velmora.conf.in" >"$work/nginx/velmora.conf"
    timeout "${VELMORA_SERVER_SECONDS:-600}" /usr/sbin/nginx -p "$work/nginx" \
      -c "$work/nginx/velmora.conf" -e "$work/nginx/error.log" 2>>"$work/server.log" &
    server_pid=$!
    for _ in $(seq 100); do
      if answers "$http" && answers "$https"; then
        printf 'HTTP_PORT=%s\nHTTPS_PORT=%s\n' "$http" "$https" >"$work/ports"
        return 0
      fi
      kill -0 "$server_pid" 2>/dev/null || break
      sleep 0.1
    done
    cat "$work/nginx/error.log" >>"$work/server.log" 2>/dev/null || true
    stop_server_process
  done
  return 1
}

if ! "start_$server"; then
  echo "with-update-server: the server did not start" >&2
  cat "$work/server.log" >&2
  exit 1
fi
while IFS='=' read -r name port; do
  export "VELMORA_$name=$port"
done <"$work/ports"
VELMORA_SERVER_ROOT_W=$(echo "Z:$work/root" | tr / '\\')
# A port that was free a moment ago and that nobody listens on.
VELMORA_CLOSED_PORT=$(free_port)
VELMORA_SERVER_ROOT=$work/root
VELMORA_CERT_DIR=$certs
export VELMORA_SERVER_ROOT_W VELMORA_CLOSED_PORT VELMORA_SERVER_ROOT VELMORA_CERT_DIR

status=0
case "$1" in
  *.exe) "$here/wine-run" "$@" || status=$? ;;
  *) "$@" || status=$? ;;
esac
if [ "$status" -ne 0 ]; then
  echo "--- update server log (last 40 lines) ---" >&2
  tail -n 40 "$work/server.log" >&2
  if [ "$server" = nginx ]; then
    tail -n 40 "$work/nginx/error.log" "$work/nginx/access.log" >&2 2>/dev/null || true
  fi
fi
exit "$status"
