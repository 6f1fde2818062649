#!/bin/bash
# Configures, builds and installs both architectures into dist/x86 and dist/x64.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
for arch in x86 x64; do
  cmake --preset "$arch" >/dev/null
  cmake --build --preset "$arch"
  cmake --install "build/$arch" --prefix "dist/$arch" >/dev/null
done
