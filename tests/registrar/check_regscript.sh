#!/bin/bash
# Host-side check of a regscript.exe: the expected machine, a console program,
# and imports from system DLLs only. Usage: check_regscript.sh EXE x86|x64
set -u
exe=$1
arch=$2
if [ ! -f "$exe" ]; then
  echo "missing: $exe" >&2
  exit 1
fi
case $arch in
  x86) objdump=i686-w64-mingw32-objdump; format=pei-i386 ;;
  x64) objdump=x86_64-w64-mingw32-objdump; format=pei-x86-64 ;;
  *) echo "unknown architecture $arch" >&2; exit 2 ;;
esac
headers=$($objdump -p "$exe") || exit 1
fail=0
if ! $objdump -f "$exe" | grep -q "file format $format"; then
  echo "not a $format file" >&2
  fail=1
fi
if ! grep -q "^Subsystem.*(Windows CUI)" <<<"$headers"; then
  echo "not a console program" >&2
  fail=1
fi
allowed='^(kernel32|advapi32|user32|ole32|oleaut32|msvcrt)\.dll$'
while read -r dll; do
  if ! grep -qiE "$allowed" <<<"$dll"; then
    echo "unexpected import: $dll" >&2
    fail=1
  fi
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")
[ $fail -eq 0 ] && echo "$exe: $arch console program importing system DLLs only ($(stat -c %s "$exe") bytes)"
exit $fail
