# Sourced by the scripts that open windows under Wine without a display of their own.
# start_private_display: starts Xvfb on the first free display number and exports DISPLAY;
# the caller stops it with stop_private_display (its trap).
xvfb_pid=""

start_private_display() {
  local display="" n
  for n in $(seq 90 180); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
  done
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done
}

stop_private_display() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null || true
    xvfb_pid=""
  fi
}

# One persistent wineserver for the whole run: Wine's helper processes otherwise hold the
# callers' output pipes open and every program start pays for a new server.
start_persistent_wineserver() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  wineserver -p
  wine cmd /c exit >/dev/null 2>&1 || true
}
