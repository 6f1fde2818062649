#!/bin/bash
# Build command: installs what is missing, builds every deliverable for x86
# (the shipped 32-bit binaries) and x64 into dist/, then runs the end-to-end
# demo under Wine (install, paste through the menu, screenshot of Brellcfg).
# BRELL_NO_DEMO=1 skips the demo.
set -euo pipefail
root=$(cd "$(dirname "$0")" && pwd)
"$root/scripts/bootstrap.sh"
"$root/scripts/build-all.sh"
echo "Deliverables:"
( cd "$root/dist" && find . -maxdepth 2 -type f \( -name '*.exe' -o -name '*.dll' -o -name '*.msix' \) -printf '  %p  %s bytes\n' | sort )
if [ -z "${BRELL_NO_DEMO:-}" ]; then
  "$root/scripts/demo.sh"
fi
