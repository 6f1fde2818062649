#!/bin/bash
# Installs what the build and the tests need on a fresh Debian 12 machine.
# Quick when everything is already there: it only asks dpkg.
# --x86-guest: also what scripts/x86-guest.sh needs to build and boot its guest.
set -euo pipefail

packages=(
  cmake make python3
  g++-mingw-w64-i686-win32 g++-mingw-w64-x86-64-win32
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 mingw-w64-tools
  googletest
  clang clang-tidy
  wine wine64 wine32:i386 fonts-wine
  xvfb imagemagick xdotool
  nsis
  openssl
)
if [ "${1:-}" = --x86-guest ]; then
  packages+=(mmdebstrap qemu-system-x86 e2fsprogs)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The package is signed with osslsigncode, which signs APPX packages from 2.7
# on; Debian 12's own is 2.5, its backports suite has a later one.
signer_ok() {
  local v
  v=$(dpkg-query -W -f='${Status} ${Version}' osslsigncode 2>/dev/null) || return 1
  [[ $v == "install ok installed "* ]] && dpkg --compare-versions "${v##* }" ge 2.7
}
backports=0
signer_ok || backports=1

if ((${#missing[@]} || backports)); then
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  # The x86 tests run under the 32-bit Wine loader, an i386 package.
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  if ((backports)); then
    $sudo "$(dirname "$0")/add-backports.sh"
  fi
  $sudo apt-get update -qq
  if ((${#missing[@]})); then
    echo "bootstrap: installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
  fi
  if ((backports)); then
    echo "bootstrap: installing osslsigncode from bookworm-backports"
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -t bookworm-backports osslsigncode >/dev/null
    signer_ok || { echo "bootstrap: osslsigncode 2.7 or later did not install" >&2; exit 1; }
  fi
fi
