#!/usr/bin/env bash
# Fresh machine to green tests: install what is missing, configure, build, run ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVANTOR_WERROR=ON
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
ctest --test-dir "$BUILD_DIR" --output-on-failure --no-tests=error --parallel 2
