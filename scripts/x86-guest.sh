#!/bin/bash
# Runs the x86 runtime tests in an emulated Debian guest, for machines whose
# kernel runs no 32-bit programs.
#
# The guest is built once, from Debian packages only (mmdebstrap: a root file
# system with the distribution's kernel, Wine and Xvfb, from the apt sources
# this machine already has), kept under build/x86-guest/<hash of the recipe>
# and built again only when the recipe below changes. Each run boots it under
# qemu's plain emulation (no KVM), shares this source tree, both build trees
# in it, read-only over 9p (the guest writes into an overlay of its own),
# runs there the x86 build's Wine tests and the x64 build's tests that need
# x86 programs (benchmarks and host-side checks stay on the host), copies
# CTest's results back into build/x86-guest/last-run and powers the guest off.
#
# Usage: scripts/x86-guest.sh [--build-only] [CTEST SELECTION...]  (e.g. -R installer)
# Exit code: CTest's (0 when every test run passed); 90 when the guest could
# not be built, 91 when it did not boot or stopped before its tests ended.
# Environment:
#   BRELL_GUEST_CACHE           where guests are kept (default build/x86-guest)
#   BRELL_GUEST_RESULTS         where CTest's results go (default CACHE/last-run)
#   BRELL_GUEST_EXTRA_PACKAGES  more Debian packages in the guest (a new recipe)
#   BRELL_GUEST_APPEND          more kernel command line
#   BRELL_GUEST_FAIL=1          adds a CTest entry that fails in the guest
#   BRELL_GUEST_TIMEOUT_SCALE   factor on every test's time limit (default 25)
#   BRELL_GUEST_BOOT_TIMEOUT    seconds the boot may take (default 900)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${BRELL_GUEST_CACHE:-$root/build/x86-guest}
build_only=
if [ "${1:-}" = --build-only ]; then
  build_only=1
  shift
fi
fail() { echo "x86-guest: $2" >&2; exit "$1"; }
# The last line a log says, as the one-line reason of a failure.
last_line() { tr -d '\r' <"$1" 2>/dev/null | sed 's/\x1b\[[0-9;]*[a-zA-Z]//g' | grep -v '^\s*$' | tail -n1; }
# Why a guest did not boot, from its console: the kernel's panic, else the
# last thing the boot itself said (not the kernel's log, not its reboot).
boot_reason() {
  local console=$1
  grep -m1 -o 'Kernel panic.*' "$console" 2>/dev/null ||
    last_line <(grep -v -e '^\[ *[0-9.]*\]' -e '^Rebooting automatically' "$console" 2>/dev/null)
}

"$root/scripts/bootstrap.sh" --x86-guest >/dev/null ||
  fail 90 "the guest cannot be built: the host's packages (mmdebstrap, qemu-system-x86) did not install"

# The recipe: what the guest is made of. Its hash names the cached guest.
suite=$(. /etc/os-release && echo "$VERSION_CODENAME")
packages=(linux-image-amd64 wine wine64 wine32:i386 fonts-wine xvfb xdotool imagemagick
          python3 cmake procps ${BRELL_GUEST_EXTRA_PACKAGES:-})
build_guest() {
  local dir=$1 sources size
  # The Debian suites this machine installs from, as apt itself lists them.
  mapfile -t sources < <(apt-get indextargets --format 'deb $(REPO_URI) $(RELEASE) main' \
      'Identifier: Packages' 'Origin: Debian' 'Component: main' 'Architecture: amd64' |
    awk -v s="$suite" '$3 == s || $3 == s "-updates" || $3 == s "-security"' | sort -u)
  ((${#sources[@]})) || { echo "E: no apt source of this machine serves $suite main"; return 1; }
  mmdebstrap --variant=apt --architectures=amd64,i386 --aptopt='Apt::Install-Recommends "true"' \
    --include="$(IFS=,; echo "${packages[*]}")" "$suite" "$dir/root" "${sources[@]}" || return 1
  # PID 1 of the guest: mounts what a run needs, runs the job the host shares
  # as "job" and powers off whatever happens.
  cat >"$dir/root/sbin/brell-init" <<'EOF'
#!/bin/sh
mount -t proc proc /proc; mount -t sysfs sys /sys; mount -t devtmpfs dev /dev 2>/dev/null
mkdir -p /dev/pts /dev/shm; mount -t devpts devpts /dev/pts; mount -t tmpfs shm /dev/shm
mount -t tmpfs tmp /tmp
modprobe -a 9pnet_virtio 9p overlay
mkdir -p /job && mount -t 9p -o trans=virtio,version=9p2000.L job /job && sh /job/run.sh </dev/null >/dev/console 2>&1
sync
echo o >/proc/sysrq-trigger
EOF
  chmod 755 "$dir/root/sbin/brell-init"
  cp "$dir"/root/boot/vmlinuz-* "$dir/vmlinuz" && cp "$dir"/root/boot/initrd.img-* "$dir/initrd.img" || return 1
  # Room for the tests' prefixes besides the system (the file is sparse).
  size=$(($(du -sm "$dir/root" | cut -f1) + 6144))
  mkfs.ext4 -q -F -L brell-guest -d "$dir/root" "$dir/root.img" "${size}M" || return 1
  rm -rf "$dir/root"
  chmod 644 "$dir"/*
}
key=$({ declare -p suite packages; declare -f build_guest; } | sha256sum | cut -c1-16)
guest=$cache/$key

if [ -f "$guest/ready" ]; then
  echo "x86-guest: reusing the guest $guest"
else
  echo "x86-guest: building the guest $guest (a few minutes; log: $guest.log)"
  start=$SECONDS
  rm -rf "$guest" "$guest.tmp"
  mkdir -p "$guest.tmp"
  if ! (build_guest "$guest.tmp") >"$guest.log" 2>&1; then
    rm -rf "$guest.tmp"
    reason=$(grep -m1 -E '^E: ' "$guest.log" || true)
    fail 90 "the guest could not be built: ${reason:-$(last_line "$guest.log")} (log: $guest.log)"
  fi
  touch "$guest.tmp/ready"
  mv "$guest.tmp" "$guest"
  # Guests of other recipes are of no further use.
  find "$cache" -mindepth 1 -maxdepth 1 -name '????????????????*' ! -name "$key" ! -name "$key.log" -exec rm -rf {} +
  echo "x86-guest: built the guest in $((SECONDS - start)) s"
fi
[ -z "$build_only" ] || exit 0

# What runs in the guest, chosen here from the build trees: a regular
# expression of test names for each tree (empty: nothing to run there).
select_tests() { # TREE [CTEST SELECTION...]
  local tree=$1; shift
  [ -f "$root/build/$tree/CTestTestfile.cmake" ] || fail 90 "no build tree $root/build/$tree: run scripts/build-all.sh first"
  ctest --test-dir "$root/build/$tree" -N --show-only=json-v1 "$@" | python3 -c '
import json, sys
names = []
for test in json.load(sys.stdin)["tests"]:
    name = test["name"]
    labels = next((p["value"] for p in test.get("properties", []) if p["name"] == "LABELS"), [])
    if "bench" in name or "static" in labels:
        continue  # benchmarks mean nothing under emulation; host-side checks run on the host
    if sys.argv[1] == "x86" or "needs_x86" in labels or name == "demo_end_to_end":
        names.append(name)
print("^(%s)$" % "|".join(names) if names else "")' "$tree"
}
x86_tests=$(select_tests x86 "$@")
x64_tests=$(select_tests x64 "$@")

job=${BRELL_GUEST_RESULTS:-$cache/last-run}
rm -rf "$job"
mkdir -p "$job"
{
  printf 'src=%q x86_tests=%q x64_tests=%q fail=%q scale=%q\n' "$root" "$x86_tests" "$x64_tests" \
    "${BRELL_GUEST_FAIL:-}" "${BRELL_GUEST_TIMEOUT_SCALE:-25}"
  cat <<'EOF'
# Runs in the guest as root. The source tree is the host's, read-only; the
# overlay on it takes what the tests write (prefixes, CTest's logs), on a
# scratch disk of the run's own.
export PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/var/tmp/home LANG=C.UTF-8 TMPDIR=/var/tmp
export BRELL_WINE_FRESH=1
mount /dev/vdb /var/tmp
mkdir -p "$HOME" /mnt/src /var/tmp/upper /var/tmp/work "$src"
mount -t 9p -o trans=virtio,version=9p2000.L,ro,cache=loose,msize=524288 src /mnt/src &&
  mount -t overlay overlay -o lowerdir=/mnt/src,upperdir=/var/tmp/upper,workdir=/var/tmp/work "$src" ||
  { echo "the guest could not mount the source tree"; exit 1; }
echo "guest: booted, $(nproc) cores, kernel $(uname -r), $(wine --version)"
: >/job/booted
# Emulation is many times slower: every test's time limit grows by $scale.
find "$src/build/x86" "$src/build/x64" -name CTestTestfile.cmake -exec \
  perl -pi -e 's/\bTIMEOUT "(\d+)"/"TIMEOUT \"" . $1 * '"$scale"' . "\""/ge' {} +
cd "$src"
rc=0
for tree in x86 x64; do
  eval "tests=\$${tree}_tests"
  [ -n "$tests" ] || continue
  echo "guest: === $tree tests"
  if [ "$tree" = x64 ] && [ -f build/x86/wine-template/.booted ] && [ ! -f build/x86/wine-template/.no32 ]; then
    # The x64 build's fixture would boot the very prefix the x86 build's
    # fixture has just booted, for minutes under emulation: it takes a copy.
    rm -rf build/x64/wine-template && cp -a build/x86/wine-template build/x64/wine-template
    unset BRELL_WINE_FRESH
  fi
  ctest --preset "$tree" -R "$tests" --output-junit "/job/$tree.xml" || rc=$?
  cp "build/$tree/Testing/Temporary/LastTest.log" "/job/$tree-LastTest.log" 2>/dev/null
done
if [ -n "$fail" ]; then
  # The script's own check: a test that fails in the guest fails the run.
  mkdir -p /var/tmp/fail
  echo 'add_test(guest_deliberate_failure /bin/sh -c "echo fails on purpose: BRELL_GUEST_FAIL is set; exit 1")' \
    >/var/tmp/fail/CTestTestfile.cmake
  ctest --test-dir /var/tmp/fail --output-on-failure --output-junit /job/fail.xml || rc=$?
fi
echo "$rc" >/job/rc
sync
echo o >/proc/sysrq-trigger
sleep 60
EOF
} >"$job/run.sh"

# The tests' prefixes, a few hundred MB each, and what they write go to a
# scratch disk of this run (a sparse file, removed at the end).
truncate -s 24G "$job/scratch.img" && mkfs.ext4 -q -F -L brell-scratch "$job/scratch.img"
echo "x86-guest: booting the guest (plain emulation, 2 cores)"
start=$SECONDS
qemu-system-x86_64 -accel tcg -cpu Nehalem -smp 2 -m 3072 -display none -no-reboot \
  -kernel "$guest/vmlinuz" -initrd "$guest/initrd.img" \
  -append "root=/dev/vda rw console=ttyS0 quiet init=/sbin/brell-init panic=-1 ${BRELL_GUEST_APPEND:-}" \
  -drive "file=$guest/root.img,format=raw,if=virtio,snapshot=on" \
  -drive "file=$job/scratch.img,format=raw,if=virtio" \
  -virtfs "local,path=$root,mount_tag=src,security_model=none,readonly=on" \
  -virtfs "local,path=$job,mount_tag=job,security_model=none" \
  -serial "file:$job/console.log" -monitor none </dev/null >"$job/qemu.log" 2>&1 &
qemu=$!
trap 'kill "$qemu" 2>/dev/null || true; rm -f "$job/scratch.img"' EXIT
while [ ! -e "$job/booted" ] && kill -0 "$qemu" 2>/dev/null; do
  if ((SECONDS - start > ${BRELL_GUEST_BOOT_TIMEOUT:-900})); then
    fail 91 "the guest did not boot within ${BRELL_GUEST_BOOT_TIMEOUT:-900} s: $(boot_reason "$job/console.log")"
  fi
  sleep 1
done
if [ ! -e "$job/booted" ]; then
  wait "$qemu" || true
  fail 91 "the guest did not boot: $(boot_reason "$job/console.log")$(last_line "$job/qemu.log" | sed 's/^/ (qemu: /; s/$/)/')"
fi
echo "x86-guest: booted in $((SECONDS - start)) s"
start=$SECONDS
tail -n +1 -f --pid="$qemu" "$job/console.log" | tr -d '\r' | grep --line-buffered -v '^\[ *[0-9.]*\]' || true
wait "$qemu" || true
[ -s "$job/rc" ] || fail 91 "the guest stopped before its tests ended: $(last_line "$job/console.log")"
echo "x86-guest: tests took $((SECONDS - start)) s in the guest; CTest's results: $job"
exit "$(cat "$job/rc")"
