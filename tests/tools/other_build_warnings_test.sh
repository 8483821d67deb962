#!/usr/bin/env bash
# Both builds compile the program and the stamping tool without a warning: the shipped 32-bit
# one and the 64-bit one for test hosts. A build fails on a warning of its own; a host may run
# the suite on one build only, so the other build's compiler checks the sources here.
# Usage: other_build_warnings_test.sh PROCESSOR FLAG...: the processor of the build under test
# (i686 or x86_64) and the flags that build compiles with (its definitions and warnings).
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
under_test=${1:?usage: other_build_warnings_test.sh PROCESSOR FLAG...}
shift
case "$under_test" in
  i686) compiler=x86_64-w64-mingw32-g++-posix ;;
  x86_64) compiler=i686-w64-mingw32-g++-posix ;;
  *) echo "FAIL unknown processor '$under_test'"; exit 1 ;;
esac
# Only what bears on the diagnostics: no code is generated.
flags=()
for flag in "$@"; do
  case "$flag" in -ffunction-sections | -fdata-sections) ;; *) flags+=("$flag") ;; esac
done
out=$(cd "$root" && ls app/*.cpp ui/*.cpp install/*.cpp log/*.cpp sys/*.cpp \
  tools/stamp/*.cpp | xargs -P "$(nproc)" -n 4 "$compiler" -fsyntax-only -I. "${flags[@]}" 2>&1)
if [ -n "$out" ]; then
  echo "FAIL $compiler does not compile the program cleanly (${flags[*]}):"
  echo "$out" | head -n 20 | sed 's/^/  | /'
  exit 1
fi
echo "build: $compiler compiles the program and the stamping tool without warnings (${flags[*]})"
