#!/bin/bash
# Test command: the same set-up and build as build.sh, then every test of
# both builds, x64 and x86, each test program in its own copy of a freshly
# booted Wine prefix under Xvfb. Where this machine cannot run x86 programs,
# the x86 runtime tests run in an emulated guest when asked for
# (BRELL_X86_GUEST=1, scripts/x86-guest.sh) and are skipped otherwise, and the
# run says so; their host-side static checks run either way. Exits non-zero
# on any failure.
# Arguments are passed on to both ctest runs and to the guest (e.g. -R brellow).
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

# Where this machine cannot run x86 programs, an emulated guest can
# (scripts/x86-guest.sh): with BRELL_X86_GUEST=1, or in CI where ci_guest
# says that it fits in CI's time (measured: see README, "How the tests run").
ci_guest=0
guest_command="BRELL_X86_GUEST=1 ./test.sh (or scripts/x86-guest.sh)"
guest=
if brell_no_32bit_reason >/dev/null; then
  case "${BRELL_X86_GUEST:-}" in
    1) guest=1 ;;
    "") [ -z "${CI:-}" ] || [ "$ci_guest" = 0 ] || guest=1 ;;
  esac
fi

export BRELL_WINE_FRESH=1
status=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT
for preset in x64 x86; do
  echo "=== $preset tests"
  # The x86 build's runtime tests run in the guest, if there is one.
  only=()
  [ -z "$guest" ] || [ "$preset" = x64 ] || only=(-L static)
  ctest --preset "$preset" "${only[@]}" "$@" 2>&1 | tee -a "$log" || status=1
done

if [ -n "$guest" ]; then
  echo "=== x86 runtime tests in the emulated guest"
  if "$root/scripts/x86-guest.sh" "$@"; then
    echo "test.sh: the x86 runtime tests passed in the emulated guest."
  else
    echo "test.sh: the x86 runtime tests in the emulated guest FAILED (scripts/x86-guest.sh exited $?)."
    status=1
  fi
else
  # ctest marks a test that exited with the skip code as "***Skipped".
  skipped=$(grep -c '\*\*\*Skipped' "$log" || true)
  if [ "$skipped" -gt 0 ]; then
    reason=$(brell_no_32bit_reason || echo "unknown reason")
    echo
    echo "test.sh: SKIPPED $skipped x86 runtime tests: $reason. The static checks of the x86 binaries ran. Run them in an emulated guest: $guest_command."
    echo
  fi
fi

# A wineserver outlives its last client by a moment: what is gone within a
# few seconds was not left running.
for _ in $(seq 20); do
  left=$(ours || true)
  [ -n "$left" ] || break
  sleep 0.5
done
if [ -n "$left" ]; then
  echo "test.sh: processes left running by the tests:" >&2
  ps -o pid,cmd -p $left >&2 || true
  status=1
fi
exit $status
