#!/bin/bash
# Takes docs/installer-welcome.png: starts BrellowSetup.exe (not silent) in a
# fresh Wine prefix on a private Xvfb display and captures its first page,
# the welcome page. The installer is a 32-bit program: this needs a machine
# that runs 32-bit programs.
# Usage: scripts/screenshot-installer.sh [BrellowSetup.exe] [OUTPUT.png]
#   defaults: build/x64/bin/BrellowSetup.exe, docs/installer-welcome.png
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup=${1:-$root/build/x64/bin/BrellowSetup.exe}
out=${2:-$root/docs/installer-welcome.png}
[ -f "$setup" ] || { echo "no $setup: build first" >&2; exit 1; }
. "$root/tests/wine/env.sh"
if reason=$(brell_no_32bit_reason); then
  echo "screenshot-installer: cannot run the 32-bit installer here: $reason" >&2
  exit 1
fi

begin_wine_session setupshot
work=$BRELL_WORK
start_xvfb "$work"
# A booted test prefix that runs x86 programs is reused; else one is booted here.
template=$root/build/x64/wine-template
if [ -f "$template/.booted" ] && [ ! -f "$template/.no32" ]; then
  cp -a "$template" "$WINEPREFIX"
else
  "$BRELL_WINE" wineboot -i >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1 || true
fi
# No window manager runs on Xvfb: let Wine draw the caption and frame itself.
"$BRELL_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# The dialogs' font, and Marlett for the caption buttons Wine draws.
install_wine_fonts tahoma.ttf tahomabd.ttf marlett.ttf
cp "$setup" "$work/BrellowSetup.exe"
"$BRELL_WINE32" "$work/BrellowSetup.exe" >/dev/null 2>&1 &
wid=
for _ in $(seq 600); do
  wid=$(xdotool search --name '^Brellow Setup$' 2>/dev/null | head -n1 || true)
  [ -n "$wid" ] && break
  sleep 0.1
done
[ -n "$wid" ] || { echo "the setup window did not appear" >&2; exit 1; }
sleep 3  # let it paint
eval "$(xdotool getwindowgeometry --shell "$wid")"
mkdir -p "$(dirname "$out")"
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out (${WIDTH}x${HEIGHT})"
