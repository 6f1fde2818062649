#!/bin/bash
# Boots the Wine prefix that every test program gets a private copy of.
# Usage: boot-prefix.sh [--win32] TEMPLATE_DIR
#   --win32  a 32-bit prefix (WINEARCH=win32: 32-bit Windows) instead of the
#            64-bit one; it can only be booted where x86 programs run.
# With BRELL_WINE_FRESH unset, an already booted template is reused (handy
# while iterating on one test); test.sh always boots a fresh one.
# Where this machine cannot run x86 programs, the template records why in
# .no32, and run.sh skips the tests that need them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
win32=
if [ "${1:-}" = "--win32" ]; then
  win32=1
  shift
fi
template=$1
if [ -z "${BRELL_WINE_FRESH:-}" ] && [ -f "$template/.booted" ]; then
  # Reused only when it was booted by a machine that agrees with this one on
  # running x86 programs (the same build tree may be seen from a machine
  # that runs them, such as an emulated one sharing the folder).
  if brell_no_32bit_reason >/dev/null; then
    [ -f "$template/.no32" ] && exit 0
  else
    [ -f "$template/.no32" ] || exit 0
  fi
fi
rm -rf "$template"
mkdir -p "$(dirname "$template")"
work=$(mktemp -d "${TMPDIR:-/tmp}/brell-boot.XXXXXX")
trap 'stop_wine; stop_xvfb; rm -rf "$work"' EXIT
if [ -n "$win32" ]; then
  if reason=$(brell_no_32bit_reason); then
    mkdir -p "$template"
    echo "$reason" > "$template/.no32"
    echo "no 32-bit Wine prefix in $template: $reason"
  else
    start_xvfb "$work"
    WINEARCH=win32 WINEPREFIX=$template "$BRELL_WINE32" wineboot -i >/dev/null 2>&1
    WINEPREFIX=$template finish_boot
    WINEPREFIX=$template install_wine_fonts tahoma.ttf tahomabd.ttf
    if [ ! -f "$template/system.reg" ] || ! grep -q '^#arch=win32' "$template/system.reg"; then
      echo "boot-prefix.sh: the 32-bit prefix in $template did not boot" >&2
      exit 1
    fi
    echo "booted 32-bit Wine prefix in $template"
  fi
  touch "$template/.booted"
  exit 0
fi
start_xvfb "$work"
export WINEPREFIX=$template
"$BRELL_WINE" wineboot -i >/dev/null 2>&1
finish_boot
install_wine_fonts tahoma.ttf tahomabd.ttf
# Windows shares these class keys between the registry views; Wine does not.
python3 "$here/share-class-keys.py" "$template"
if reason=$(brell_no_32bit_reason); then
  echo "$reason" > "$template/.no32"
  echo "booted Wine prefix in $template (x86 programs cannot run: $reason)"
else
  if [ ! -d "$template/drive_c/windows/syswow64" ]; then
    echo "boot-prefix.sh: x86 programs run here, but the prefix has no syswow64" >&2
    exit 1
  fi
  echo "booted Wine prefix in $template (x64 and x86)"
fi
touch "$template/.booted"
