#!/usr/bin/env bash
# Builds Vantor (and the updater beside it) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
BUILD_DIR=${BUILD_DIR:-build}
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD_DIR" --parallel "$(nproc)"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display found: starting Vantor with Qt's offscreen platform." \
         "Its window cannot be seen, but its scheduler runs as usual. Stop it with Ctrl+C."
    export QT_QPA_PLATFORM=offscreen
fi
exec "$BUILD_DIR/app/Vantor"
