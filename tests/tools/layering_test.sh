#!/usr/bin/env bash
# The program's folders include one way: app -> ui -> install -> log -> sys, with res beside
# all of them. A folder may include its own headers, those of the folders below it, and res.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
order=(app ui install log sys)
failures=0
includes=0
# The folder an include names, in any of its forms: "ui/x.h", "../ui/x.h", <ui/x.h>, with
# any spacing around the hash; nothing for a name without a folder (the folder's own header)
# or a system header.
included_folder() {
  sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*["<]\(\(\.\.\/\)*\)\([a-z]*\)\/.*/\3/p' <<<"$1"
}
for i in "${!order[@]}"; do
  folder=${order[$i]}
  allowed="res ${order[*]:$i}"
  while IFS= read -r line; do
    file=${line%%:*}
    includes=$((includes + 1))
    target=$(included_folder "${line#*:}")
    [ -z "$target" ] && continue
    if ! grep -qw "$target" <<<"${order[*]} res" || grep -qw "$target" <<<"$allowed"; then
      continue
    fi
    echo "FAIL ${file#$root/} includes $target/ (${folder}/ may include: $allowed)"
    failures=$((failures + 1))
  done < <(grep -HE '^[[:space:]]*#[[:space:]]*include' "$root/$folder"/*.cpp "$root/$folder"/*.h \
    2>/dev/null)
done
if [ "$includes" -eq 0 ]; then
  echo "FAIL no include found in app/ ui/ install/ log/ sys/: the check saw nothing"
  failures=$((failures + 1))
fi
[ "$failures" -eq 0 ] && echo "layering: app -> ui -> install -> log -> sys holds ($includes includes)"

# Both builds compile the program and the stamping tool without a warning: the shipped 32-bit
# one and the 64-bit one for test hosts. A build fails on a warning of its own; a host runs the
# suite on one build only, so the other is checked here (both when no build is named), with
# the build's own definitions and warning flags.
under_test=${1:-}
compilers=()
[ "$under_test" != i686 ] && compilers+=(i686-w64-mingw32-g++-posix)
[ "$under_test" != x86_64 ] && compilers+=(x86_64-w64-mingw32-g++-posix)
for compiler in "${compilers[@]}"; do
  out=$(cd "$root" && ls app/*.cpp ui/*.cpp install/*.cpp log/*.cpp sys/*.cpp \
    tools/stamp/velmora_stamp.cpp | xargs -P "$(nproc)" -n 4 "$compiler" -std=c++17 \
    -fsyntax-only -Wall -Wextra -I. -DUNICODE -D_UNICODE -DNOMINMAX -D_WIN32_WINNT=0x0601 \
    -DWINVER=0x0601 2>&1)
  if [ -n "$out" ]; then
    echo "FAIL $compiler does not compile the program cleanly:"
    echo "$out" | head -n 20 | sed 's/^/  | /'
    failures=$((failures + 1))
  fi
done
[ "$failures" -eq 0 ] && echo "build: both builds compile without warnings"
exit $(( failures > 0 ))
