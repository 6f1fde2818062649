#!/bin/bash
# Boots the Wine prefix that every test program gets a private copy of.
# Usage: boot-prefix.sh TEMPLATE_DIR
# With BRELL_WINE_FRESH unset, an already booted template is reused (handy
# while iterating on one test); test.sh always boots a fresh one.
# Where this machine cannot run x86 programs, the template records why in
# .no32, and run.sh skips the tests that need them.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
. "$here/env.sh"
template=$1
if [ -z "${BRELL_WINE_FRESH:-}" ] && [ -f "$template/.booted" ]; then
  exit 0
fi
rm -rf "$template"
mkdir -p "$(dirname "$template")"
work=$(mktemp -d "${TMPDIR:-/tmp}/brell-boot.XXXXXX")
trap 'stop_wine; stop_xvfb; rm -rf "$work"' EXIT
start_xvfb "$work"
export WINEPREFIX=$template
"$BRELL_WINE" wineboot -i >/dev/null 2>&1
stop_wine
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
