#!/usr/bin/env bash
# The program's folders include one way: app -> ui -> install -> log -> sys, with res beside
# all of them. A folder may include its own headers, those of the folders below it, and res.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
order=(app ui install log sys)
failures=0
for i in "${!order[@]}"; do
  folder=${order[$i]}
  allowed="res ${order[*]:$i}"
  while IFS= read -r line; do
    file=${line%%:*}
    target=$(sed -n 's/.*#include "\([a-z]*\)\/.*/\1/p' <<<"$line")
    [ -z "$target" ] && continue
    if ! grep -qw "$target" <<<"$allowed"; then
      echo "FAIL ${file#$root/} includes $target/ (${folder}/ may include: $allowed)"
      failures=$((failures + 1))
    fi
  done < <(grep -H '#include "' "$root/$folder"/*.cpp "$root/$folder"/*.h 2>/dev/null)
done
[ "$failures" -eq 0 ] && echo "layering: app -> ui -> install -> log -> sys holds"
exit $(( failures > 0 ))
