#!/usr/bin/env bash
# Builds the project and runs every benchmark (bench/*/run.sh, then the large job
# lists of bench/ui/scale.sh), printing their figures.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
export BUILD_DIR
for b in bench/*/run.sh; do
    echo "== $b"
    bash "$b"
done
echo "== bench/ui/scale.sh"
bash bench/ui/scale.sh
