#!/bin/bash
# Test command: the same set-up and build as build.sh, then every test
# (under wine64 and Xvfb, each test program in its own copy of a freshly
# booted Wine prefix). Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build-all.sh"
cd "$root"

# Wine and Xvfb processes that were there before the run are not ours.
# Zombies that their parent has yet to reap are not running.
ours() { ps -eo pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /^(wineserver|wineserver64|Xvfb)$/ {print $1}' | sort; }
before=$(ours || true)

export BRELL_WINE_FRESH=1
status=0
ctest --preset x64 "$@" || status=$?

left=$(comm -13 <(echo "$before") <(ours || true) | grep . || true)
if [ -n "$left" ]; then
  echo "test.sh: processes left running by the tests:" >&2
  ps -o pid,cmd -p $left >&2 || true
  status=1
fi
exit $status
