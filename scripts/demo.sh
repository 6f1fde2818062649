#!/bin/bash
# The whole product under Wine, as a person would use it: in a fresh Wine
# prefix, install silently, put a few files on the clipboard, open a folder's
# background menu the way Explorer builds it, choose "Paste with Brellow",
# wait for the engine and show that the files arrived; finally a screenshot of
# the installed settings program.
# Usage: scripts/demo.sh [--setup BrellowSetup.exe] [--menuhost menuhost.exe] [--out DIR]
#   defaults: dist/BrellowSetup.exe, build/x64/bin/menuhost.exe, dist/
# Exit code 0 when every sample file arrived intact.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
setup=$root/dist/BrellowSetup.exe
menuhost=$root/build/x64/bin/menuhost.exe
out=$root/dist
while [ $# -gt 0 ]; do
  case $1 in
    --setup) setup=$2; shift 2 ;;
    --menuhost) menuhost=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) echo "usage: $0 [--setup FILE] [--menuhost FILE] [--out DIR]" >&2; exit 2 ;;
  esac
done
for f in "$setup" "$menuhost"; do
  [ -f "$f" ] || { echo "demo: $f is missing; build first" >&2; exit 2; }
done
mkdir -p "$out"
out=$(cd "$out" && pwd)
. "$root/tests/wine/env.sh"

begin_wine_session demo
work=$BRELL_WORK
wine() { "$BRELL_WINE" "$@"; }
step() { printf '\n== %s\n' "$*"; }

step "A fresh Wine prefix"
start_xvfb "$work"
wine wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
drive_c=$WINEPREFIX/drive_c

step "Silent install: BrellowSetup.exe /S"
cp "$setup" "$work/BrellowSetup.exe"
wine "$work/BrellowSetup.exe" /S
installed="$drive_c/Program Files/Brellow"
(cd "$installed" && find . -type f | sort | sed 's|^\./|  C:\\Program Files\\Brellow\\|; s|/|\\|g')
wine reg query 'HKLM\Software\Wow6432Node\Halvorin\Brellow' /v Path | grep Path

step "Sample files, put on the clipboard"
source_dir=$drive_c/demo/source
target_dir=$drive_c/demo/target
mkdir -p "$source_dir/photos/2026" "$target_dir"
printf 'Notes to paste.\r\n' > "$source_dir/notes.txt"
head -c 3000000 /dev/urandom > "$source_dir/archive.bin"
head -c 20000 /dev/urandom > "$source_dir/photos/beach.raw"
head -c 50000 /dev/urandom > "$source_dir/photos/2026/snow.raw"
(cd "$source_dir" && find . -type f | sort | sed 's|^\./|  |')

step "The background menu of C:\\demo\\target, built as Explorer does; invoke \"Paste with Brellow\""
cp "$menuhost" "$work/menuhost.exe"
# The engine writes what it did to this file instead of showing message boxes.
export BRELLOW_REPORT='C:\demo\brellow-report.txt'
status=0
wine "$work/menuhost.exe" 'C:\demo\target' \
  --put-files 'C:\demo\source\notes.txt' 'C:\demo\source\archive.bin' 'C:\demo\source\photos' \
  --invoke "Paste with Brellow" --wait-engine || status=$?
unset BRELLOW_REPORT
echo "menuhost exit code $status"
if [ -f "$drive_c/demo/brellow-report.txt" ]; then
  echo "engine report:"
  sed 's/^/  /' "$drive_c/demo/brellow-report.txt"
fi

step "C:\\demo\\target afterwards"
(cd "$target_dir" && find . -type f -printf '  %P  %s bytes\n' | sort)
arrived=0
for f in notes.txt archive.bin photos/beach.raw photos/2026/snow.raw; do
  if cmp -s "$source_dir/$f" "$target_dir/$f"; then
    arrived=$((arrived + 1))
  else
    echo "  MISSING OR DIFFERENT: $f"
  fi
done
echo "$arrived of 4 files arrived intact"

step "Screenshot of the installed Brellcfg"
# The program's font, and Marlett for the caption buttons Wine draws.
install_wine_fonts tahoma.ttf tahomabd.ttf marlett.ttf
wine "$installed/Brellcfg.exe" >/dev/null 2>&1 &
shot=$out/brellcfg-demo.png
wid=
if command -v xdotool >/dev/null; then
  for _ in $(seq 200); do
    wid=$(xdotool search --name '^Brellow V Settings$' 2>/dev/null | head -n1 || true)
    [ -n "$wid" ] && break
    sleep 0.1
  done
fi
sleep 2  # let it paint
if [ -n "$wid" ]; then
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$shot"
else
  import -window root "$shot"
fi
echo "wrote $shot"

[ "$status" -eq 0 ] && [ "$arrived" -eq 4 ]
