#!/usr/bin/env bash
# Runs one Windows test program with a forwarding proxy of its own in front of the network:
#   with-proxy.sh BUILD_DIR PROGRAM [ARGS...]
# A PROGRAM ending in .exe runs under Wine, anything else (a script) as it is.
# Starts Debian's squid in the foreground on a free port of 127.0.0.1, with its own
# configuration, logs and PID file in a fresh folder below BUILD_DIR/proxy, and stops it by its
# process id however the program ends; nothing is installed or started as a service. The program
# finds through the environment (Wine passes it on):
#   VELMORA_PROXY_PORT    the proxy's port
#   VELMORA_PROXY_LOG_W   its access log as Z:\... (one line per request: time, method, URL or
#                         CONNECT target, status, User-Agent and Accept in double quotes)
# The proxy lets clients on 127.0.0.1 reach 127.0.0.1 only, over plain http and by CONNECT, keeps
# no cache, and refuses with 403 the installer to the tests' own program (User-Agent
# whole_run_server_test), so that a row can meet a proxy that refuses.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: with-proxy.sh BUILD_DIR PROGRAM [ARGS...]}" && pwd)
shift
source "$here/wine-env.sh"
# Wine takes the platform's proxy bypass list from no_proxy when it is set, which wine-env.sh
# does for the local servers; here the user's own settings are to decide.
unset no_proxy NO_PROXY

mkdir -p "$build/proxy"
work=$(mktemp -d "$build/proxy/run.XXXXXX")
squid_pid=""
stop_proxy_process() {
  if [ -n "$squid_pid" ]; then
    kill "$squid_pid" 2>/dev/null || true
    wait "$squid_pid" 2>/dev/null || true
    squid_pid=""
  fi
}
stop_proxy() {
  stop_proxy_process
  rm -rf "$work"
}
trap stop_proxy EXIT

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
answers() {  # port
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

write_config() {  # port
  cat >"$work/squid.conf" <<EOF
http_port 127.0.0.1:$1
pid_filename $work/squid.pid
cache_log $work/cache.log
cache_store_log none
coredump_dir $work
logformat velmora %ts.%03tu %rm %ru %>Hs "%{User-Agent}>h" "%{Accept}>h"
access_log stdio:$work/access.log velmora
buffered_logs off
cache deny all
cache_mem 0 MB
pinger_enable off
shutdown_lifetime 0 seconds
visible_hostname velmora-test-proxy
acl clients src 127.0.0.1/32
acl loopback dst 127.0.0.1/32
acl installer urlpath_regex ActiveX
acl tests_program browser ^whole_run_server_test$
http_access deny tests_program installer
http_access allow clients loopback
http_access deny all
EOF
}

# The port is free a moment before squid binds it; when another process takes it first, squid
# ends at once and is started again on a new one.
start_squid() {
  local attempt port
  for attempt in 1 2 3; do
    port=$(free_port)
    write_config "$port"
    : >"$work/access.log"
    # squid started by root runs as the proxy user, who must write its logs.
    [ "$(id -u)" -eq 0 ] && chown -R proxy:proxy "$work"
    timeout "${VELMORA_PROXY_SECONDS:-900}" /usr/sbin/squid -N -f "$work/squid.conf" \
      2>>"$work/squid.err" &
    squid_pid=$!
    for _ in $(seq 100); do
      if answers "$port"; then
        echo "$port" >"$work/port"
        return 0
      fi
      kill -0 "$squid_pid" 2>/dev/null || break
      sleep 0.1
    done
    stop_proxy_process
  done
  return 1
}

if ! start_squid; then
  echo "with-proxy: squid did not start" >&2
  cat "$work/squid.err" "$work/cache.log" >&2 2>/dev/null || true
  exit 1
fi
VELMORA_PROXY_PORT=$(cat "$work/port")
VELMORA_PROXY_LOG_W=$(echo "Z:$work/access.log" | tr / '\\')
export VELMORA_PROXY_PORT VELMORA_PROXY_LOG_W

status=0
case "$1" in
  *.exe) "$here/wine-run" "$@" || status=$? ;;
  *) "$@" || status=$? ;;
esac
if [ "$status" -ne 0 ]; then
  echo "--- proxy access log (last 40 lines) ---" >&2
  tail -n 40 "$work/access.log" >&2 2>/dev/null || true
  tail -n 20 "$work/cache.log" >&2 2>/dev/null || true
fi
exit "$status"
