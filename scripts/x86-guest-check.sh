#!/bin/bash
# The checks of scripts/x86-guest.sh itself (run by hand: they build a guest
# and boot guests, which takes a while under emulation):
#  - an unchanged recipe reuses the cached guest; a changed one (one more
#    package) builds a new guest;
#  - a package the archive does not have: exit 90 and one line saying so;
#  - a guest whose kernel finds no root file system: exit 91 and one line;
#  - a CTest entry that fails in the guest (BRELL_GUEST_FAIL=1) fails the
#    script with CTest's exit code.
# The changed recipes get a cache of their own, so the real guest stays, and
# the boots their own results folder, so a run in progress keeps its own.
# Exits 1 if any check fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
guest=$root/scripts/x86-guest.sh
scratch=$(mktemp -d "$root/build/x86-guest-check.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
failed=0
check() { # NAME CONDITION...
  local name=$1; shift
  if "$@"; then echo "PASS $name"; else echo "FAIL $name"; failed=1; fi
}
# Runs the script with the given environment; sets out (its output) and rc.
run() { out=$(env "$@" "$guest" --build-only 2>&1); rc=$?; echo "$out" | sed 's/^/  | /'; }
one_line() { [ "$(grep -c '^x86-guest: the guest' <<<"$out")" = 1 ]; }

run BRELL_GUEST_CACHE="$root/build/x86-guest"
run BRELL_GUEST_CACHE="$root/build/x86-guest"
check "an unchanged recipe reuses the cached guest" \
  test "$rc" = 0 -a -n "$(grep 'reusing the guest' <<<"$out")"

run BRELL_GUEST_CACHE="$scratch/changed" BRELL_GUEST_EXTRA_PACKAGES=hello
check "a changed recipe builds a new guest" \
  test "$rc" = 0 -a -n "$(grep 'built the guest' <<<"$out")" -a -f "$(ls -d "$scratch"/changed/*/ready)"

run BRELL_GUEST_CACHE="$scratch/missing" BRELL_GUEST_EXTRA_PACKAGES=brell-no-such-package
check "a missing package: exit 90 and one line" \
  eval '[ "$rc" = 90 ] && one_line && grep -q "could not be built: .*brell-no-such-package" <<<"$out"'

export BRELL_GUEST_RESULTS=$scratch/run
out=$(BRELL_GUEST_APPEND="root=/dev/nowhere rootdelay=5" "$guest" -R '^nothing$' 2>&1); rc=$?
echo "$out" | sed 's/^/  | /'
check "an unbootable guest: exit 91 and one line" \
  eval '[ "$rc" = 91 ] && one_line && grep -q "did not boot" <<<"$out"'

out=$(BRELL_GUEST_FAIL=1 "$guest" -R '^nothing$' 2>&1); rc=$?
echo "$out" | sed 's/^/  | /'
check "a test failing in the guest fails the script (CTest's exit code)" \
  eval '[ "$rc" != 0 ] && [ "$rc" != 90 ] && [ "$rc" != 91 ] && grep -q "guest_deliberate_failure.*Failed" <<<"$out"'
exit $failed
