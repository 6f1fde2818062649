#!/bin/bash
# Takes docs/brellcfg.png: starts Brellcfg.exe under wine64 in a private Wine
# prefix on a private Xvfb display and captures its window.
# Usage: scripts/screenshot-brellcfg.sh [BUILD_DIR] [OUTPUT.png]
#   BUILD_DIR defaults to build/x64 (needs bin/Brellcfg.exe; its booted
#   wine-template is reused when present, else a prefix is booted here).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
out=${2:-$root/docs/brellcfg.png}
exe=$build/bin/Brellcfg.exe
[ -f "$exe" ] || { echo "no $exe: build first" >&2; exit 1; }
. "$root/tests/wine/env.sh"

begin_wine_session shot
work=$BRELL_WORK
start_xvfb "$work"
if [ -f "$build/wine-template/.booted" ]; then
  cp -a "$build/wine-template" "$WINEPREFIX"
else
  "$BRELL_WINE" wineboot -i >/dev/null 2>&1
fi
# No window manager runs on Xvfb: let Wine draw the caption and frame itself.
"$BRELL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The caption buttons are drawn with the Marlett symbol font; make sure it
# is installed in the prefix.
if [ -f /usr/share/wine/fonts/marlett.ttf ]; then
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  "$BRELL_WINE" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Fonts' \
    /v 'Marlett (TrueType)' /d marlett.ttf /f >/dev/null 2>&1
fi

"$BRELL_WINE" "$exe" >/dev/null 2>&1 &
wid=
for _ in $(seq 200); do
  wid=$(xdotool search --name '^Brellow V Settings$' 2>/dev/null | head -n1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "the Brellcfg window did not appear" >&2; exit 1; }
sleep 2  # let it paint
eval "$(xdotool getwindowgeometry --shell "$wid")"
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out (${WIDTH}x${HEIGHT})"
