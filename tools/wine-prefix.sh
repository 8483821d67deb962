#!/usr/bin/env bash
# Creates the build's Wine prefix once and reuses it afterwards. Japanese dialog fonts are
# substituted by an installed CJK font so that the pages show glyphs, not boxes, and Wine
# manages its own windows: the test displays have no window manager, which Wine otherwise
# waits for (two seconds for every hidden top-level window).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
settings_version=2
stamp=$WINEPREFIX/.velmora-ready
[ "$(cat "$stamp" 2>/dev/null)" = "$settings_version" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: preparing $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
for face in "MS Shell Dlg" "MS Shell Dlg 2" "MS UI Gothic" "MS Gothic" "MS PGothic"; do
  wine reg add "$subst" /v "$face" /t REG_SZ /d "Noto Sans CJK JP" /f >/dev/null 2>&1
done
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
echo "$settings_version" >"$stamp"
