#!/bin/bash
# The DACL that BrellowSetup.exe hands to the system for a folder of the
# user's choice. Wine keeps no file ACLs (reading one back answers from the
# Unix mode bits, whatever was set), so this test reads what the installer
# asked for from a trace of the wineserver's requests: the
# set_security_object request on the folder's handle, and that it came
# before the first file was created in the folder.
# Usage: folder-dacl-test.sh TEMPLATE_DIR BrellowSetup.exe
# Exit code 77 (skipped) where x86 programs cannot run.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/../wine/env.sh"
template=$1
setup=$2
[ -f "$template/.booted" ] || { echo "folder-dacl-test: no booted Wine prefix at $template" >&2; exit 2; }
if [ -f "$template/.no32" ]; then
  echo "SKIPPED (needs x86 programs): $(cat "$template/.no32")"
  exit 77
fi
[ -f "$setup" ] || { echo "folder-dacl-test: no installer at $setup" >&2; exit 2; }

begin_wine_session dacl
cp -a "$template" "$WINEPREFIX"
rm -f "$WINEPREFIX/.booted" "$WINEPREFIX/.no32"
start_xvfb "$BRELL_WORK" || exit 2
# A parent folder outside Program Files, as a user would make it.
mkdir -p "$WINEPREFIX/drive_c/Tools"
cp "$setup" "$BRELL_WORK/BrellowSetup.exe"

trace=$BRELL_WORK/trace.txt
wineserver -f -d1 2>"$trace" &
server=$!
# The loader finds this server through its socket; one started by the loader
# itself would not trace.
for _ in $(seq 100); do
  [ -n "$(find "/tmp/.wine-$(id -u)" -name socket -newer "$BRELL_WORK/BrellowSetup.exe" 2>/dev/null)" ] && break
  sleep 0.1
done
# NSIS reads /D= only unquoted, and wine quotes an argument that holds a
# space: a name without one reaches the installer as it stands.
folder='C:\Tools\BrellowCustom'
"$BRELL_WINE32" "$BRELL_WORK/BrellowSetup.exe" /S "/D=$folder"
status=$?
stop_wine
wait "$server"

echo "BrellowSetup.exe /S /D=$folder: exit code $status"
fail=0
[ "$status" -eq 0 ] || fail=1
if ! python3 "$here/check-dacl-trace.py" "$trace" "$folder"; then
  fail=1
  echo "folder-dacl-test: the trace's security requests and the requests naming the folder:"
  grep -a -n -i -E 'set_security_object\(|Tools' "$trace" | cut -c1-400 | head -n 60
  # What the thread that set the descriptor asked for just before.
  thread=$(grep -a -m1 -o -E '^[0-9a-f]+: set_security_object\(' "$trace" | cut -d: -f1)
  if [ -n "$thread" ]; then
    echo "folder-dacl-test: thread $thread's last requests before it:"
    grep -a -n -E "^$thread: " "$trace" | grep -a -B40 -m1 'set_security_object(' | cut -c1-400
  fi
  # Kept beside the build's prefix template for a closer look.
  cp "$trace" "$(dirname "$template")/folder-dacl-trace.txt" 2>/dev/null &&
    echo "folder-dacl-test: trace kept in $(dirname "$template")/folder-dacl-trace.txt"
fi
exit $fail
