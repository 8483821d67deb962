#!/usr/bin/env bash
# Runs the setup's main job end to end, the way a user's machine sees it:
#   demo.sh [BUILD_DIR] [--no-screenshots]
# A local update server on 127.0.0.1 publishes the demo launcher-control installer, the demo
# update agent and a descriptor for the site "DemoSite"; a copy of the program named for that
# server (automatic mode) runs under Wine in a virtual desktop, with its trace log switched to
# a file. The steps are printed as the log grows, then what the setup left behind. Everything
# the run makes lands in build/demo/. Exit status 0 only when the setup completed.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build/mingw
screenshots=1
for arg in "$@"; do
  case "$arg" in
    --no-screenshots) screenshots=0 ;;
    *) build=$arg ;;
  esac
done
build=$(cd "$build" && pwd)
source "$here/wine-env.sh"
source "$here/private-display.sh"
source "$here/build-info.sh"
bash "$here/wine-prefix.sh"

site=DemoSite
host=127.0.0.1
desktop=VelmoraDemo
run_seconds=${VELMORA_DEMO_SECONDS:-120}
out=$root/build/demo
setup_exe=$(setup_program "$build")
installer_exe=$build/demo/demo_installer.exe
agent_exe=$build/demo/demo_agent.exe
for f in "$setup_exe" "$installer_exe" "$agent_exe"; do
  [ -f "$f" ] || { echo "demo: $f is missing; run make first" >&2; exit 1; }
done

# Windows form of a Unix path, as the programs under Wine see it.
winpath() { echo "Z:$1" | tr / '\\'; }
say() { printf '%s\n' "$*"; }
heading() { printf '\n== %s ==\n' "$*"; }
shown() { echo "${1#"$root"/}"; }

server_pid=""
wine_pid=""
shooter_pid=""
log_switch=""
cleanup() {
  if [ -n "$shooter_pid" ]; then kill "$shooter_pid" 2>/dev/null || true; fi
  if [ -n "$wine_pid" ]; then kill "$wine_pid" 2>/dev/null || true; fi
  if [ -n "$server_pid" ]; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
  if [ -n "$log_switch" ]; then
    wine reg delete 'HKCU\Software\Velmora' /v "$log_switch" /f >/dev/null 2>&1 || true
  fi
  if [ -n "$xvfb_pid" ]; then
    # Wine's helpers of this prefix hold our display until they end by themselves.
    timeout 15 wineserver -w 2>/dev/null || true
    stop_private_display
  fi
  rm -rf "$out/grab"
}
trap cleanup EXIT

# --- a display: the user's when it answers, else a private Xvfb ---------------------------
# On the user's display only the virtual desktop's window is captured; on our own Xvfb it
# fills the screen.
if [ -n "${DISPLAY:-}" ] && xwd -root -silent >/dev/null 2>&1; then
  say "demo: showing the setup on display $DISPLAY"
  capture_target=(-name "$desktop - Wine desktop")
else
  start_private_display
  say "demo: no display to show on; running under Xvfb $DISPLAY"
  capture_target=(-root)
fi

# --- a clean slate, so that this run proves itself ----------------------------------------
# A 32-bit program on a 64-bit Windows lays its files out in the 32-bit Program Files.
program_files_w=$(program_files_for "$build")
program_files=$(winepath -u "$program_files_w" 2>/dev/null | tr -d '\r')
program_files=$(realpath -m "$program_files")
[ -n "$program_files_w" ] && [ -d "$program_files" ] || {
  echo "demo: cannot tell the Program Files folder of $(shown "$setup_exe")" >&2
  exit 1
}
site_dir=$program_files/Velmora/$site
site_dir_w=$program_files_w\\Velmora\\$site
host_key="HKCU\\Software\\Velmora\\$host"
rm -rf "$out" "$site_dir"
mkdir -p "$out/server/app/update" "$out/grab"
wine reg delete "$host_key" /f >/dev/null 2>&1 || true

# --- the update server --------------------------------------------------------------------
published_installer="$out/server/app/Velmora ActiveX 7i_jp.exe"
published_descriptor=$out/server/app/update/velmora_server.exe
published_agent=$out/server/app/update/QLUpdate.exe
cp "$installer_exe" "$published_installer"
cp "$agent_exe" "$published_agent"
printf '<?xml version="1.0" encoding="utf-8"?>\r\n<velmora>\r\n<servicename>%s</servicename>\r\n</velmora>\r\n' \
  "$site" >"$published_descriptor"
python3 "$here/update_server.py" --root "$out/server" --port-file "$out/ports" \
  --max-seconds $((run_seconds + 60)) --max-requests 200 2>"$out/server.log" &
server_pid=$!
for _ in $(seq 100); do
  [ -f "$out/ports" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ ! -f "$out/ports" ]; then
  echo "demo: the update server did not start" >&2
  cat "$out/server.log" >&2
  exit 1
fi
port=$(sed -n 's/^HTTP_PORT=//p' "$out/ports")
say "demo: update server on http://$host:$port/ publishing"
say "        app/Velmora ActiveX 7i_jp.exe   the demo launcher-control installer"
say "        app/update/velmora_server.exe   the descriptor of site $site"
say "        app/update/QLUpdate.exe         the demo update agent"

# --- the copy in automatic mode, with its trace log on ------------------------------------
name=Velmora_Setup_http_${host}_${port}.exe
copy=$out/$name
log=$copy.log
record=$out/started.txt
cp "$setup_exe" "$copy"
log_switch=$name.log
wine reg add 'HKCU\Software\Velmora' /v "$log_switch" /t REG_DWORD /d 2 /f >/dev/null
say "demo: running $(shown "$copy") in a Wine virtual desktop, trace log to a file"

# --- screenshots ----------------------------------------------------------------------------
address_shot=$out/address_page.png
download_shot=$out/download_page.png

grab() {  # xwd-file
  xwd -silent "${capture_target[@]}" >"$1" 2>/dev/null
}

# The setup's own process, found by its command line (the copy's Windows path).
setup_pid() {
  ps -eo pid=,args= | WANTED=$(winpath "$copy") awk '
    { pid = $1; sub(/^ *[0-9]+ /, ""); if ($0 == ENVIRON["WANTED"]) print pid }'
}

# Grabs the screen into a PNG while the setup is held still, so that a page is caught whole
# and not halfway through a change.
shoot() {  # setup-pid, png
  local frame
  frame=$out/grab/$(basename "$2" .png).xwd
  kill -STOP "$1" 2>/dev/null || return 0
  grab "$frame" || true
  kill -CONT "$1" 2>/dev/null || true
  convert "xwd:$frame" "$2" 2>/dev/null || true
}

# The address page presses Next by itself 100 ms after it opens, and under load its last
# strokes reach the screen only just before that: too soon for the main loop. So a watcher of
# its own waits for the press ("ConnectionURL:" in the log, written before the address is
# probed) and shoots then.
shoot_address_page() {
  local pid=""
  while [ -z "$pid" ] && kill -0 "$wine_pid" 2>/dev/null; do
    [ -f "$log" ] && pid=$(setup_pid)
    sleep 0.05
  done
  [ -n "$pid" ] || return 0
  grep -m1 -q "ConnectionURL:" < <(tail -n +1 -F --pid="$pid" "$log" 2>/dev/null) || return 0
  shoot "$pid" "$address_shot"
}

# --- run it and follow its log --------------------------------------------------------------
# One trace line as a person reads it: the time, then the operation nested under its callers,
# or one of its messages beneath it.
depth=0
format_line() {
  local line=$1 time body pad
  time=${line:12:12}
  body=${line#*\]}
  body=${body#*\]}
  case "$body" in
    *"() <<<"*)
      printf '%s %*s%s\n' "$time" $((depth * 2)) '' "${body%%()*}"
      depth=$((depth + 1))
      ;;
    *"() >>>"*) depth=$((depth > 0 ? depth - 1 : 0)) ;;
    :*)
      body=${body#:}
      pad=${body%%[! ]*}
      printf '%s %*s%s\n' "$time" $((depth * 2)) '' "- ${body#"$pad"}"
      ;;
    *) printf '%s %s\n' "$time" "$body" ;;
  esac
}

heading "Steps, from the trace log"
VELMORA_FIXTURE_RECORD=$(winpath "$record") \
  wine explorer "/desktop=$desktop,1024x768" "$(winpath "$copy")" >"$out/wine.log" 2>&1 &
wine_pid=$!
if [ "$screenshots" = 1 ]; then
  shoot_address_page &
  shooter_pid=$!
fi
deadline=$((SECONDS + run_seconds))
seen=0
timed_out=0
while :; do
  running=0
  kill -0 "$wine_pid" 2>/dev/null && running=1
  if [ -f "$log" ]; then
    # Only whole lines, read at once: the program may be writing the next one.
    total=$(wc -l <"$log")
    if [ "$total" -gt "$seen" ]; then
      while IFS= read -r line; do
        line=${line%$'\r'}
        format_line "$line"
        case "$line" in
          *"VLDownloadDlg::InstallActiveX() <<<"*)
            if [ "$screenshots" = 1 ]; then
              pid=$(setup_pid)
              [ -n "$pid" ] && shoot "$pid" "$download_shot"
            fi
            ;;
        esac
      done < <(sed -n "$((seen + 1)),${total}p" "$log")
      seen=$total
    fi
  fi
  [ "$running" = 1 ] || break
  if [ "$SECONDS" -ge "$deadline" ]; then
    timed_out=1
    say "demo: the setup did not end within $run_seconds s; stopping it"
    wine taskkill /f /im "$name" >/dev/null 2>&1 || true
    for _ in $(seq 50); do kill -0 "$wine_pid" 2>/dev/null || break; sleep 0.2; done
    break
  fi
  sleep 0.1
done
if [ -n "$shooter_pid" ]; then
  wait "$shooter_pid" 2>/dev/null || true
  shooter_pid=""
fi

# --- what the setup left --------------------------------------------------------------------
problems=()
check() {  # ok?, description
  if [ "$1" = 1 ]; then say "  ok      $2"; else say "  MISSING $2"; problems+=("$2"); fi
}

reg_dword() {  # key, value -> decimal, or nothing
  local hex
  hex=$(wine reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | awk '$2 == "REG_DWORD" { print $3 }')
  [ -n "$hex" ] && echo $((hex))
}

heading "Registry values under $host_key"
for value in LANGUAGE:3 PRODUCT:1 'Update\DontQuestionDesktopShortcut':1; do
  path=${value%:*}
  want=${value##*:}
  key=$host_key
  case "$path" in *\\*) key=$host_key\\${path%\\*} ;; esac
  got=$(reg_dword "$key" "${path##*\\}" || true)
  check "$([ "$got" = "$want" ] && echo 1 || echo 0)" "$path = ${got:-(none)}  (REG_DWORD, expected $want)"
done

heading "Files under $site_dir_w"
say "  (on Linux: $(shown "$site_dir"))"
same_as() { [ -f "$1" ] && cmp -s "$1" "$2" && echo 1 || echo 0; }
check "$(same_as "$site_dir/velmora_server.exe" "$published_descriptor")" \
  "velmora_server.exe  the descriptor, as published"
check "$(same_as "$site_dir/QLUpdate.exe" "$published_agent")" \
  "QLUpdate.exe        the update agent, as published"

heading "Programs the setup started"
# The record holds one block per started program: program=, command_line=, working_dir=.
started() {  # program, key
  awk -F= -v program="$1" -v key="$2" '
    $1 == "program" { current = $2 }
    current == program && $1 == key { sub(/^[^=]*=/, ""); print; exit }' "$record" 2>/dev/null |
    tr -d '\r'
}
installer_line=$(started demo_installer command_line)
installer_dir=$(started demo_installer working_dir)
agent_line=$(started demo_agent command_line)
agent_dir=$(started demo_agent working_dir)
say "  launcher-control installer: ${installer_line:-(not started)}"
say "    in ${installer_dir:-?}"
say "  update agent: ${agent_line:-(not started)}"
say "    in ${agent_dir:-?}"
has_word() { [[ " $1 " == *" $2 "* ]] && echo 1 || echo 0; }
check "$(has_word "$installer_line" /verysilent)" "the installer ran with /verysilent"
check "$(has_word "$agent_line" -ou)" "the update agent ran with -ou"
check "$([ "${agent_dir,,}" = "${site_dir_w,,}" ] && echo 1 || echo 0)" \
  "the update agent ran in the site folder"

heading "Saved"
if [ "$screenshots" = 1 ]; then
  for shot in "$address_shot" "$download_shot"; do
    if [ -f "$shot" ]; then say "  screenshot  $(shown "$shot")"; else say "  screenshot  $(shown "$shot") could not be taken"; fi
  done
fi
say "  trace log   $(shown "$log")"
say "  server log  $(shown "$out/server.log")"

echo
if [ "$timed_out" = 1 ]; then problems+=("the setup did not end by itself"); fi
if [ ${#problems[@]} -eq 0 ]; then
  say "demo: the setup completed."
  exit 0
fi
say "demo: the setup did not complete: ${#problems[@]} problem(s) above."
exit 1
