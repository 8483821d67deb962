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
