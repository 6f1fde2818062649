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

# Every process the run starts inherits this mark; a wineserver, Xvfb or
# emulator without it belongs to another session of the machine (another
# user's tests, a Wine program of one's own) and is none of the run's
# business. Zombies that their parent has yet to reap are not running.
export BRELL_TEST_RUN="$$.$(date +%s%N)"
ours() {
  local pid
  for pid in $(ps -eo pid=,stat=,comm= |
      awk '$2 !~ /^Z/ && $3 ~ /^(wineserver|wineserver64|wineserver32|Xvfb|qemu-system-x86)/ {print $1}'); do
    tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qx "BRELL_TEST_RUN=$BRELL_TEST_RUN" && echo "$pid"
  done
}

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

left=$(ours || true)
if [ -n "$left" ]; then
  echo "test.sh: processes left running by the tests:" >&2
  ps -o pid,cmd -p $left >&2 || true
  status=1
fi
exit $status
