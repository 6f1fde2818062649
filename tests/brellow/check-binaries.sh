#!/bin/bash
# Static checks of the shipped engine: machine type, GUI subsystem, and
# imports from system DLLs only (the C++ run-time is linked in).
# Usage: check-binaries.sh OBJDUMP EXE MACHINE [OBJDUMP EXE MACHINE]...
set -uo pipefail
allowed='^(kernel32|user32|gdi32|advapi32|shell32|comctl32|ole32|msvcrt|api-ms-win-crt-[a-z0-9-]+)\.dll$'
fail=0
while [ $# -ge 3 ]; do
  objdump=$1 exe=$2 machine=$3
  shift 3
  if [ ! -f "$exe" ]; then
    echo "FAIL: $exe not built" >&2
    fail=1
    continue
  fi
  headers=$("$objdump" -p "$exe")
  if ! grep -q "file format $machine" <<<"$headers"; then
    echo "FAIL: $exe is not $machine" >&2
    fail=1
  fi
  if ! grep -qE '^Subsystem\s+0*2\s' <<<"$headers"; then
    echo "FAIL: $exe is not a GUI program" >&2
    fail=1
  fi
  while read -r dll; do
    if ! grep -qiE "$allowed" <<<"$dll"; then
      echo "FAIL: $exe imports $dll" >&2
      fail=1
    fi
  done < <(grep -E '^\s+DLL Name:' <<<"$headers" | awk '{print $3}')
  echo "checked $exe ($machine): $(grep -cE '^\s+DLL Name:' <<<"$headers") imported DLLs"
done
exit $fail
