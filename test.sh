#!/bin/bash
# Test command: the same set-up and build as build.sh, then every test of
# both builds, x64 and x86, each test program in its own copy of a freshly
# booted Wine prefix under Xvfb. Where this machine cannot run x86 programs,
# the x86 runtime tests are skipped and the run says so; their host-side
# static checks still run. Exits non-zero on any failure.
# Arguments are passed on to both ctest runs (e.g. -R brellow).
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build-all.sh"
cd "$root"
. tests/wine/env.sh

# Wine and Xvfb processes that were there before the run are not ours.
# Zombies that their parent has yet to reap are not running.
ours() { ps -eo pid=,stat=,comm= | awk '$2 !~ /^Z/ && $3 ~ /^(wineserver|wineserver64|wineserver32|Xvfb)$/ {print $1}' | sort; }
before=$(ours || true)

export BRELL_WINE_FRESH=1
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in x64 x86; do
  echo "=== $preset tests"
  ctest --preset "$preset" "$@" 2>&1 | tee -a "$log" || status=1
done

# ctest marks a test that exited with the skip code as "***Skipped".
skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
if [ "$skipped" -gt 0 ]; then
  reason=$(brell_no_32bit_reason || echo "unknown reason")
  echo
  echo "test.sh: SKIPPED $skipped x86 runtime tests: $reason. The static checks of the x86 binaries ran."
  echo
fi

left=$(comm -13 <(echo "$before") <(ours || true) | grep . || true)
if [ -n "$left" ]; then
  echo "test.sh: processes left running by the tests:" >&2
  ps -o pid,cmd -p $left >&2 || true
  status=1
fi
exit $status
