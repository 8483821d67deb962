#!/usr/bin/env bash
# Creates the build's Wine prefix once and reuses it afterwards. The pages should look as on
# Windows: the dialog font is substituted by an installed CJK font so that they show glyphs,
# not boxes; the Japanese Gothic faces by IPA Gothic, whose metrics are close to Windows' own;
# Wine's own Marlett (fonts-wine) draws the caption buttons and the system menu. The page
# header asks for the Korean character set, which Wine serves only from a face that claims
# it: a copy of IPA Gothic that does stands in. Wine does not manage its own windows: the
# test displays have no window manager, which Wine otherwise waits for (two seconds for every
# hidden top-level window).
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
settings_version=5
stamp=$WINEPREFIX/.velmora-ready
[ "$(cat "$stamp" 2>/dev/null)" = "$settings_version" ] && exit 0
mkdir -p "$(dirname "$WINEPREFIX")"
echo "wine-prefix: preparing $WINEPREFIX"
wineboot -i >/dev/null 2>&1 || true
wineserver -w
subst='HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes'
substitute() { wine reg add "$subst" /v "$1" /t REG_SZ /d "$2" /f >/dev/null 2>&1; }
substitute "MS Shell Dlg" "Noto Sans CJK JP"
substitute "MS Shell Dlg 2" "Noto Sans CJK JP"
substitute "MS UI Gothic" "IPAPGothic,128"
substitute "MS PGothic" "IPAPGothic"
substitute "MS Gothic" "IPAGothic"
# Wine finds its own fonts only in the prefix's font folder.
fonts=$WINEPREFIX/drive_c/windows/Fonts
cp -f /usr/share/wine/fonts/marlett.ttf "$fonts/"
python3 "$(dirname "$0")/korean-codepage-font.py" \
  /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf "$fonts/ipagp-korean.ttf"
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
echo "$settings_version" >"$stamp"
