#!/usr/bin/env bash
# Creates the build's Wine prefix once and reuses it afterwards. Japanese dialog fonts are
# substituted by an installed CJK font so that the pages show glyphs, not boxes.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
stamp=$WINEPREFIX/.velmora-ready
[ -f "$stamp" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: creating $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "MS Gothic" "MS PGothic"; do
  wine reg add "$subst" /v "$face" /t REG_SZ /d "Noto Sans CJK JP" /f >/dev/null 2>&1
done
wineserver -w
touch "$stamp"
