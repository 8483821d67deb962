#!/usr/bin/env bash
# The program's folders include one way: app -> ui -> install -> log -> sys, with res beside
# all of them. A folder may include its own headers, those of the folders below it, and res.
# Usage: layering_test.sh [NM OBJECTS]: the build's nm with the program library's object folder,
# for the check at link time.
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

# The same order at link time: a folder's objects may need symbols of their own folder and of
# those below it, never of a folder above (ui linked without app must not need an app symbol).
# A declaration written without its header escapes the include check; the symbol tables show
# it. Symbols defined in more than one folder (inline functions, templates) belong to none.
nm_tool=${1:-}
objects=${2:-}
if [ -n "$objects" ]; then
  declare -A home=()
  symbols_of() {  # kind folder: the external symbols of that kind in the folder's objects
    local files=("$objects/$2"/*.obj)
    [ -e "${files[0]}" ] || return 0
    "$nm_tool" --extern-only --format=posix "${files[@]}" |
      awk -v kind="$1" 'NF >= 2 && length($2) == 1 && (kind == "U") == ($2 == "U") {print $1}' |
      sort -u
  }
  for i in "${!order[@]}"; do
    while IFS= read -r symbol; do
      [ -z "$symbol" ] && continue
      if [ -n "${home[$symbol]+set}" ]; then home[$symbol]=shared; else home[$symbol]=$i; fi
    done < <(symbols_of defined "${order[$i]}")
  done
  [ "${#home[@]}" -eq 0 ] && {
    echo "FAIL no symbol defined in the objects below $objects: the link check saw nothing"
    failures=$((failures + 1))
  }
  for i in "${!order[@]}"; do
    while IFS= read -r symbol; do
      above=${home[$symbol]:-}
      [[ "$above" =~ ^[0-9]+$ ]] && [ "$above" -lt "$i" ] || continue
      echo "FAIL ${order[$i]}/ objects need $symbol, defined in ${order[$above]}/"
      failures=$((failures + 1))
    done < <(symbols_of U "${order[$i]}")
  done
  [ "$failures" -eq 0 ] && echo "linking: no folder's objects need a symbol of a folder above"
fi

exit $(( failures > 0 ))
