#!/usr/bin/env bash
# `cmake --install` of the built tree into a scratch prefix, the way a user installs
# Vantor for themselves (--prefix ~/.local): the layout, the menu entry, icons and
# metadata are valid, nothing refers to the build tree, and the installed command
# starts the installed program.
#   tst_install.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD_DIR=$(readlink -f "$1")
SOURCE_DIR=$(readlink -f "$2")
. "$(dirname "$0")/installed_tree.sh"

for tool in desktop-file-validate appstreamcli readelf od; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh installs it)"; exit 77; }
done

SCRATCH=$(mktemp -d /tmp/vantor-install-test.XXXXXX)
SCRATCH_HOME=$SCRATCH/home
STARTED_PID=
cleanup() {
    stop_started
    rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
mkdir -p "$SCRATCH_HOME/.config" "$SCRATCH_HOME/run"
chmod 700 "$SCRATCH_HOME/run"

PREFIX=$SCRATCH/prefix
cmake --install "$BUILD_DIR" --prefix "$PREFIX" >"$SCRATCH/install.log" 2>&1 || {
    cat "$SCRATCH/install.log" >&2
    echo "FAIL: cmake --install failed" >&2
    exit 1
}
find "$PREFIX" -type f >"$SCRATCH/files"
check_tree "$PREFIX" "$SCRATCH/files"

# The installed tree is complete on its own: moved elsewhere, it still starts.
mv "$PREFIX" "$SCRATCH/moved"
cd "$SCRATCH_HOME"
start_check vantor "$SCRATCH/moved/lib/vantor/Vantor" - "$SCRATCH/moved/bin/vantor"

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
fi
echo "installed tree is complete"
