#!/bin/bash
# Runs one Windows program under wine64 in a private copy of the booted test
# prefix, on a private X display. Leaves no wineserver or Xvfb behind.
# Usage: run.sh TEMPLATE_DIR PROGRAM.exe [ARGS...]
# BRELL_KEEP_PREFIX=1 keeps the copy for inspection.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
template=$1; shift
if [ ! -f "$template/.booted" ]; then
  echo "run.sh: no booted Wine prefix at $template" >&2
  exit 2
fi
work=$(mktemp -d "${TMPDIR:-/tmp}/brell-wine.XXXXXX")
export WINEPREFIX=$work/prefix
cleanup() {
  stop_wine
  stop_xvfb
  if [ -n "${BRELL_KEEP_PREFIX:-}" ]; then
    echo "run.sh: kept $work" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cp -a "$template" "$WINEPREFIX"
start_xvfb "$work" || exit 2
"$BRELL_WINE" "$@"
rc=$?
exit $rc
