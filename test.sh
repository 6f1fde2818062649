#!/bin/bash
# Test command: the same set-up and build as build.sh, then every test
# (under wine64 and Xvfb, each test program in its own copy of a freshly
# booted Wine prefix). Exits non-zero on any failure.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build-all.sh"
cd "$root"
export BRELL_WINE_FRESH=1
ctest --preset x64 "$@"
