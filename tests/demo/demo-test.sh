#!/bin/bash
# Runs scripts/demo.sh on this build's installer and menuhost and checks what
# it shows: the menu item, the engine's report, the files in the target, the
# screenshot.
# Usage: demo-test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1
build=$2
out=$build/demo
rm -rf "$out"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$src/scripts/demo.sh" --setup "$build/bin/BrellowSetup.exe" --menuhost "$build/bin/menuhost.exe" --out "$out" >"$log" 2>&1
status=$?
cat "$log"

fail=0
check() {
  if ! grep -qF -- "$1" "$log"; then
    echo "demo-test: expected in the demo's output: $1" >&2
    fail=1
  fi
}
[ "$status" -eq 0 ] || { echo "demo-test: demo.sh exit code $status" >&2; fail=1; }
check 'C:\Program Files\Brellow\x86\Brellmenu.dll'
check 'Path    REG_SZ    C:\Program Files\Brellow'
check '] Paste with Brellow'
check 'invoke "Paste with Brellow": 0x00000000'
check 'brellow.exe ended with exit code 0'
check "$(printf 'result\t0\t4\t0\t0')"
check '4 of 4 files arrived intact'
if [ "$(head -c 8 "$out/brellcfg-demo.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
  echo "demo-test: no PNG screenshot at $out/brellcfg-demo.png" >&2
  fail=1
fi
exit $fail
