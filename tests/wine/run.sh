#!/bin/bash
# Runs one Windows program under Wine in a private copy of the booted test
# prefix, on a private X display. Leaves no wineserver or Xvfb behind.
# Usage: run.sh [--x86] TEMPLATE_DIR PROGRAM.exe [ARGS...]
#   --x86  the test needs x86 programs to run (an x86 test program, or an x64
#          one that drives x86 binaries); where the machine cannot run them,
#          the test is skipped with exit code 77 and the reason.
# BRELL_KEEP_PREFIX=1 keeps the copy for inspection.
# BRELL_SECOND_VOLUME=M: maps that drive letter to a fresh folder on another
#   Unix file system than the prefix's C: (a tmpfs: /dev/shm, or
#   BRELL_SECOND_VOLUME_ROOT), so that a rename between the two fails as it
#   does between two volumes on Windows. Where no such folder can be had, the
#   variable is cleared and BRELL_SECOND_VOLUME_MISSING says why.
# BRELL_READONLY_VIEW=R: maps that letter to the same folder as the second
#   volume, seen through a read-only bind mount in a mount namespace of the
#   run's own (gone with it): nothing there can be deleted, whoever runs the
#   test, root included. Where it cannot be had, the variable is cleared and
#   BRELL_READONLY_VIEW_MISSING says why.
set -u
if [ -n "${BRELL_READONLY_VIEW:-}" ] && [ -z "${BRELL_MOUNT_NAMESPACE:-}" ]; then
  if unshare -m --propagation private true 2>/dev/null; then
    BRELL_MOUNT_NAMESPACE=1 exec unshare -m --propagation private "$0" "$@"
  fi
  export BRELL_READONLY_VIEW= BRELL_READONLY_VIEW_MISSING="no mount namespace can be made here (unshare -m)"
fi
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
needs_x86=
if [ "${1:-}" = "--x86" ]; then
  needs_x86=1
  shift
fi
template=$1; shift
if [ ! -f "$template/.booted" ]; then
  echo "run.sh: no booted Wine prefix at $template" >&2
  exit 2
fi
if [ -n "$needs_x86" ] && [ -f "$template/.no32" ]; then
  echo "SKIPPED (needs x86 programs): $(cat "$template/.no32")"
  exit 77
fi
# An x86 program needs the 32-bit loader; it starts x64 children through
# wine64 by itself.
loader=$BRELL_WINE
if [ -n "$needs_x86" ] && [ -f "$1" ] && \
   [ "$(od -An -tx1 -j "$(( $(od -An -tu4 -j60 -N4 "$1") + 4 ))" -N2 "$1" | tr -d ' ')" = "4c01" ]; then
  loader=$BRELL_WINE32
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/brell-wine.XXXXXX")
export WINEPREFIX=$work/prefix
volume=
view=
cleanup() {
  stop_wine
  stop_xvfb
  if [ -n "$view" ]; then umount "$view" 2>/dev/null; rmdir "$view"; fi
  [ -n "$volume" ] && rm -rf "$volume"
  if [ -n "${BRELL_KEEP_PREFIX:-}" ]; then
    echo "run.sh: kept $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -a "$template" "$WINEPREFIX"
if [ -n "${BRELL_SECOND_VOLUME:-}" ]; then
  letter=$(tr 'A-Z' 'a-z' <<<"${BRELL_SECOND_VOLUME%:}")
  root=${BRELL_SECOND_VOLUME_ROOT:-/dev/shm}
  if ! [[ "$letter" =~ ^[d-y]$ ]]; then
    missing="BRELL_SECOND_VOLUME must be a drive letter from D: to Y:, not $BRELL_SECOND_VOLUME"
  elif ! volume=$(mktemp -d "$root/brell-volume.XXXXXX" 2>/dev/null); then
    volume=
    missing="no folder could be made under $root"
  elif [ "$(stat -c %d "$volume")" = "$(stat -c %d "$WINEPREFIX/drive_c")" ]; then
    missing="$root is on the same file system as the Wine prefix ($(stat -f -c %T "$root"))"
  else
    ln -s "$volume" "$WINEPREFIX/dosdevices/$letter:"
  fi
  if [ -n "${missing:-}" ]; then
    export BRELL_SECOND_VOLUME= BRELL_SECOND_VOLUME_MISSING="$missing"
  else
    export BRELL_SECOND_VOLUME="${letter^^}:"
  fi
fi
if [ -n "${BRELL_READONLY_VIEW:-}" ]; then
  letter=$(tr 'A-Z' 'a-z' <<<"${BRELL_READONLY_VIEW%:}")
  missing=
  if [ -z "$volume" ] || [ -z "${BRELL_SECOND_VOLUME:-}" ]; then
    missing="it shows the second volume, and there is none: ${BRELL_SECOND_VOLUME_MISSING:-}"
  elif ! [[ "$letter" =~ ^[d-y]$ ]]; then
    missing="BRELL_READONLY_VIEW must be a drive letter from D: to Y:, not $BRELL_READONLY_VIEW"
  elif ! view=$(mktemp -d "$(dirname "$volume")/brell-view.XXXXXX") ||
       ! mount --bind "$volume" "$view" 2>/dev/null ||
       ! mount -o remount,bind,ro "$view" 2>/dev/null; then
    missing="no read-only bind mount can be made here"
  else
    ln -s "$view" "$WINEPREFIX/dosdevices/$letter:"
  fi
  if [ -n "$missing" ]; then
    export BRELL_READONLY_VIEW= BRELL_READONLY_VIEW_MISSING="$missing"
  else
    export BRELL_READONLY_VIEW="${letter^^}:"
  fi
fi
start_xvfb "$work" || exit 2
"$loader" "$@"
rc=$?
exit $rc
