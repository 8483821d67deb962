# Sourced by the scripts that run Windows programs: one Wine prefix owned by the build,
# quiet Wine, and no proxy between the programs and the local test servers.
VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${VELMORA_WINEPREFIX:-$VELMORA_ROOT/build/wineprefix}
export WINEDEBUG=-all
export WINEARCH=win64
# A test may ask for more overrides: Wine takes them from the Unix environment a process
# starts with, never from one a Windows program sets for its child.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${VELMORA_TEST_DLLOVERRIDES:+;$VELMORA_TEST_DLLOVERRIDES}"
export no_proxy=127.0.0.1,localhost
export NO_PROXY=$no_proxy
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY

# Debian's `wine` (and wineboot, winepath, … through it) takes Wine's i386 loader whenever it
# is installed, even on a kernel that cannot run 32-bit programs: every call then fails with
# "Exec format error". There, and when VELMORA_WINE64_ONLY=1 asks for it, the 64-bit loader
# alone is used, through a `wine` of our own put first on the PATH.
wine32_loader=/usr/lib/wine/wine
wine64_loader=/usr/lib/wine/wine64
if [ "${VELMORA_WINE64_ONLY:-}" != 1 ] && [ -x "$wine32_loader" ] &&
  ! "$wine32_loader" --version >/dev/null 2>&1; then
  export VELMORA_WINE64_ONLY=1
fi
if [ "${VELMORA_WINE64_ONLY:-}" = 1 ] && [ -x "$wine64_loader" ]; then
  export WINELOADER=$wine64_loader
  wine64_bin=$VELMORA_ROOT/build/wine64-bin
  if [ ! -x "$wine64_bin/wine-stable" ]; then
    mkdir -p "$wine64_bin"
    printf '#!/bin/sh\nexec %s "$@"\n' "$wine64_loader" >"$wine64_bin/wine.new"
    chmod +x "$wine64_bin/wine.new"
    cp "$wine64_bin/wine.new" "$wine64_bin/wine"
    mv "$wine64_bin/wine.new" "$wine64_bin/wine-stable"
  fi
  case ":$PATH:" in *":$wine64_bin:"*) ;; *) export PATH=$wine64_bin:$PATH ;; esac
fi
