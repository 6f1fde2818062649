#!/bin/bash
# Runs scripts/demo.sh and checks what it shows: the install (or, where this
# machine cannot run the 32-bit installer, the hand install the demo falls
# back to), the Windows 11 steps it took or would take, the menu item, the
# engine's report, the files in the target, the screenshot, the uninstall.
# Usage: demo-test.sh SOURCE_DIR OUT_DIR [demo.sh options: --win32 --setup F --menuhost F]
# Exit code 77 (skipped) when the demo cannot run here at all.
set -uo pipefail
src=$1
out=$2
shift 2
win32=
for arg in "$@"; do [ "$arg" = "--win32" ] && win32=1; done
rm -rf "$out"
log=$(mktemp)
trap 'rm -f "$log"' EXIT
"$src/scripts/demo.sh" "$@" --out "$out" >"$log" 2>&1
status=$?
cat "$log"
[ "$status" -eq 77 ] && exit 77

fail=0
check() {
  if ! grep -qF -- "$1" "$log"; then
    echo "demo-test: expected in the demo's output: $1" >&2
    fail=1
  fi
}
absent() {
  if grep -qF -- "$1" "$log"; then
    echo "demo-test: not expected in the demo's output: $1" >&2
    fail=1
  fi
}
[ "$status" -eq 0 ] || { echo "demo-test: demo.sh exit code $status" >&2; fail=1; }
# The top-level command comes from package\ where Windows 11 has one.
command_dll='C:\Program Files\Brellow\package\Brellcmd.dll'
if grep -q '^demo: NOT RUNNING BrellowSetup.exe' "$log"; then
  echo "demo-test: the demo could not run the installer here; checking its hand install"
  check 'regsvr32 Brellmenu.dll exit code 0'
  check 'The Windows 11 steps the installer takes (64-bit Windows, build 22000 or later); not run here'
  check 'stage package\Brellow.msix with package\ as its external location (StagePackageByUriAsync)'
  check 'provision the package for every user of the machine (ProvisionPackageForAllUsersAsync)'
else
  check 'BrellowSetup.exe exit code 0'
  if [ -n "$win32" ]; then
    check 'A fresh Wine prefix: 32-bit Windows'
    check 'C:\Program Files\Brellow\Brellmenu.dll'
    absent 'C:\Program Files\Brellow\x86\'
    # 32-bit Windows gets nothing of the package, even reporting build 22631.
    absent 'TrustedPeople'
    absent 'C:\Program Files\Brellow\package\'
    command_dll='C:\demo\package\Brellcmd.dll'
  else
    check 'C:\Program Files\Brellow\x86\Brellmenu.dll'
    check 'C:\Program Files\Brellow\package\Brellow.msix'
    check 'exit 0: "C:\windows\Sysnative\certutil.exe" -addstore TrustedPeople '
    # Staged with package\ as its external location (handed over as data),
    # then provisioned for every user; at the uninstall removed for all.
    check 'StagePackageByUriAsync'
    check 'ProvisionPackageForAllUsersAsync'
    check 'Remove-AppxPackage -AllUsers'
    check 'exit 0: "C:\windows\Sysnative\certutil.exe" -delstore TrustedPeople '
    absent 'the Active Setup entry is still there'
  fi
  check 'uninstall.exe exit code 0'
  check 'C:\Program Files\Brellow is gone'
  check "the menu's class is no longer registered"
  check "the right-drag menu is no longer registered"
fi
check 'Path    REG_SZ    C:\Program Files\Brellow'
check '] Paste with Brellow'
check 'invoke "Paste with Brellow": 0x00000000'
check 'brellow.exe ended with exit code 0'
check "$(printf 'result\t0\t4\t0\t0')"
check '4 of 4 files arrived intact'
# The right-drag's move, handed to the engine without the clipboard.
check '[257] Move here with Brellow'
check 'invoke "Move here with Brellow": 0x00000000'
check '2 of 2 dragged files moved'
# The packaged command in Windows 11's top-level menu pastes the same list.
check 'command {'
check ": 0x00000000, state enabled, flags 0x0, icon $command_dll,-101"
check 'menuhost --modern exit code 0'
if [ "$(grep -c '4 of 4 files arrived intact' "$log")" -ne 2 ]; then
  echo "demo-test: expected both pastes to bring all 4 files" >&2
  fail=1
fi
if [ "$(head -c 8 "$out/brellcfg-demo.png" 2>/dev/null | od -An -tx1 | tr -d ' \n')" != "89504e470d0a1a0a" ]; then
  echo "demo-test: no PNG screenshot at $out/brellcfg-demo.png" >&2
  fail=1
fi
exit $fail
