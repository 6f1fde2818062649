#!/bin/bash
# Takes the screenshots of Brellcfg in docs/: starts Brellcfg.exe under wine64
# in a private Wine prefix (with Wine's Tahoma, the program's font) on a
# private Xvfb display and captures its window, once at 96 dpi
# (docs/brellcfg.png) and once at 144 dpi (docs/brellcfg-144dpi.png).
# Usage: scripts/screenshot-brellcfg.sh [BUILD_DIR] [DPI OUTPUT.png]...
#   BUILD_DIR defaults to build/x64 (needs bin/Brellcfg.exe; its booted
#   wine-template is reused when present, else a prefix is booted here).
#   Pairs of a dpi and a file replace the two default shots.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build/x64}" && pwd)
[ $# -gt 0 ] && shift
shots=("$@")
[ ${#shots[@]} -gt 0 ] || shots=(96 "$root/docs/brellcfg.png" 144 "$root/docs/brellcfg-144dpi.png")
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
# No window manager runs on Xvfb: let Wine draw the caption and frame itself,
# with the Marlett symbol font for the caption buttons.
"$BRELL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
install_wine_fonts tahoma.ttf tahomabd.ttf marlett.ttf

# shoot DPI OUTPUT: the window as the program lays it out at that dpi.
shoot() {
  "$BRELL_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  "$BRELL_WINE" "$exe" >/dev/null 2>&1 &
  local wid=
  for _ in $(seq 200); do
    wid=$(xdotool search --name '^Brellow V Settings$' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
  [ -n "$wid" ] || { echo "the Brellcfg window did not appear" >&2; return 1; }
  sleep 2  # let it paint
  local WIDTH HEIGHT X Y
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  mkdir -p "$(dirname "$2")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$2"
  echo "wrote $2 (${WIDTH}x${HEIGHT}, $1 dpi)"
  stop_wine  # the next shot starts afresh and reads its dpi anew
}

set -- "${shots[@]}"
while [ $# -ge 2 ]; do
  shoot "$1" "$2"
  shift 2
done
