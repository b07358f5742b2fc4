#!/usr/bin/env bash
# Builds Vantor and its Debian package (vantor_<version>_<arch>.deb) with CPack.
# The package's dependencies are computed from the programs (dpkg-shlibdeps).
# Install it with:  sudo apt-get install ./build/package/vantor_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
OUT_DIR=$(cd "$BUILD_DIR" && pwd)/package
(cd "$BUILD_DIR" && cpack -G DEB -B "$OUT_DIR")
rm -rf "$OUT_DIR/_CPack_Packages"
ls -1 "$OUT_DIR"/vantor_*.deb
