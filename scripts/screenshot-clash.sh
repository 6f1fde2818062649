#!/bin/bash
# Takes the screenshot of the engine's name-clash dialog in docs/: puts a file
# on the clipboard (with menuhost) whose name is taken in the target folder,
# starts brellow.exe under wine64 in a private Wine prefix (with Wine's
# Tahoma) on a private Xvfb display, and captures the dialog.
# Usage: scripts/screenshot-clash.sh [BUILD_DIR] [OUTPUT.png]
#   BUILD_DIR defaults to build/x64 (needs bin/brellow.exe and bin/menuhost.exe;
#   its booted wine-template is reused when present, else a prefix is booted
#   here). OUTPUT defaults to docs/brellow-clash.png.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
out=${2:-$root/docs/brellow-clash.png}
for exe in brellow.exe menuhost.exe; do
  [ -f "$build/bin/$exe" ] || { echo "no $build/bin/$exe: build first" >&2; exit 1; }
done
. "$root/tests/wine/env.sh"

begin_wine_session clash
work=$BRELL_WORK
start_xvfb "$work"
if [ -f "$build/wine-template/.booted" ]; then
  cp -a "$build/wine-template" "$WINEPREFIX"
else
  "$BRELL_WINE" wineboot -i >/dev/null 2>&1
fi
# No window manager runs on Xvfb: let Wine draw the caption and frame itself,
# with the Marlett symbol font for the caption buttons.
"$BRELL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
install_wine_fonts tahoma.ttf tahomabd.ttf marlett.ttf

# A report of 1.4 MB being pasted where an older, smaller one of that name is.
drive=$WINEPREFIX/drive_c
mkdir -p "$drive/Users/Public/Documents/Reports" "$drive/Users/Public/Desktop/New reports"
head -c 1468006 /dev/urandom > "$drive/Users/Public/Desktop/New reports/Quarterly report.xlsx"
head -c 912384 /dev/urandom > "$drive/Users/Public/Documents/Reports/Quarterly report.xlsx"
touch -d '2024-04-02 09:41' "$drive/Users/Public/Desktop/New reports/Quarterly report.xlsx"
touch -d '2024-01-15 16:05' "$drive/Users/Public/Documents/Reports/Quarterly report.xlsx"

"$BRELL_WINE" "$build/bin/menuhost.exe" 'C:\Users\Public\Documents\Reports' \
  --put-files 'C:\Users\Public\Desktop\New reports\Quarterly report.xlsx' >/dev/null 2>&1 || true
BRELLOW_ON_CLASH= BRELLOW_REPORT='C:\report.txt' \
  "$BRELL_WINE" "$build/bin/brellow.exe" 'C:\Users\Public\Documents\Reports' >/dev/null 2>&1 &
engine=$!
wid=
for _ in $(seq 600); do
  wid=$(xdotool search --name '^Brellow - Name clash$' 2>/dev/null | head -n1 || true)
  [ -n "$wid" ] && break
  kill -0 "$engine" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$wid" ]; then
  echo "the clash dialog did not appear; the engine's report:" >&2
  cat "$drive/report.txt" >&2 2>/dev/null || true
  exit 1
fi
sleep 2  # let it paint
eval "$(xdotool getwindowgeometry --shell "$wid")"
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out (${WIDTH}x${HEIGHT})"
