#!/usr/bin/env bash
# Picks the build that `make test`, `make demo` and `make bench` run:
#   pick-arch.sh [x86|x64|both]
# Prints x86 where a 32-bit Windows program starts under Wine on this host, else x64, and says
# why when it is x64. With x86 asked for, fails with that same line where x86 cannot run;
# with x64 asked for, prints x64 without looking; with both, prints "x86 x64", or x64 alone
# with the line that says why. VELMORA_NO_WIN32=1 makes the host count as
# one that cannot run 32-bit programs (to prove the choice on a host that can).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
wanted=${1:-}
case "$wanted" in
  "" | x86 | x64 | both) ;;
  *) echo "make: ARCH must be x86, x64 or both, not '$wanted'" >&2; exit 1 ;;
esac
[ "$wanted" = x64 ] && { echo x64; exit 0; }

# Starts a 32-bit program of our own and expects its exit status back; prints nothing when it
# ran, else why not.
why_no_win32() {
  if [ "${VELMORA_NO_WIN32:-}" = 1 ]; then
    echo "VELMORA_NO_WIN32=1"
    return
  fi
  source "$here/wine-env.sh"
  bash "$here/wine-prefix.sh" >&2
  local probe_dir=$VELMORA_ROOT/build/arch-probe
  mkdir -p "$probe_dir"
  if [ ! -f "$probe_dir/win32_probe.exe" ] ||
    [ "$here/arch-probe/win32_probe.c" -nt "$probe_dir/win32_probe.exe" ]; then
    i686-w64-mingw32-gcc -Os -s -o "$probe_dir/win32_probe.exe" "$here/arch-probe/win32_probe.c"
  fi
  local status=0 said
  said=$(timeout 60 wine "$probe_dir/win32_probe.exe" 2>&1) || status=$?
  [ "$status" = 32 ] && return
  # The likeliest cause, a kernel without 32-bit support, shows best in Wine's own loader.
  local loader=/usr/lib/wine/wine
  if [ ! -x "$loader" ]; then
    echo "Wine's 32-bit loader $loader is missing"
  elif ! said=$("$loader" --version 2>&1); then
    echo "Wine's 32-bit loader: ${said##*: }"
  else
    said=$(tr -d '\r' <<<"$said" | grep -v '^$' | tail -n 1)
    echo "${said:-exit status $status}"
  fi
}

reason=$(why_no_win32)
if [ -z "$reason" ]; then
  [ "$wanted" = both ] && echo "x86 x64" || echo x86
  exit 0
fi
line="a 32-bit Windows program does not start under Wine on this host ($reason)"
if [ "$wanted" = x86 ]; then
  echo "make: ARCH=x86 cannot run here: $line" >&2
  exit 1
fi
echo "make: using the 64-bit build in build/x64 (for testing only; the shipped program stays 32-bit): $line" >&2
echo x64
