#!/bin/bash
# Boots the Wine prefix that every test program gets a private copy of.
# Usage: boot-prefix.sh TEMPLATE_DIR
# With BRELL_WINE_FRESH unset, an already booted template is reused (handy
# while iterating on one test); test.sh always boots a fresh one.
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
trap 'stop_xvfb; rm -rf "$work"' EXIT
start_xvfb "$work"
export WINEPREFIX=$template
"$BRELL_WINE" wineboot -i >/dev/null 2>&1
stop_wine
install_wine_fonts tahoma.ttf tahomabd.ttf
touch "$template/.booted"
echo "booted Wine prefix in $template"
