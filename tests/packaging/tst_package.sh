#!/usr/bin/env bash
# The Debian package, end to end on this machine: build it with CPack, install it
# with apt-get, start `vantor` from the installed files as an ordinary user, find
# the update program where Help > Update looks for it, list the shipped language
# files, then remove the package and find nothing of it left.
#
# It installs into the real system, so it runs only as root (CI), never replaces a
# Vantor package that is already installed, and removes what it installed on every
# way out.
#   tst_package.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
BUILD_DIR=$(readlink -f "$1")
SOURCE_DIR=$(readlink -f "$2")
. "$(dirname "$0")/installed_tree.sh"

if [ "$(id -u)" -ne 0 ]; then
    echo "SKIP: the package test installs into the system and runs only as root"
    exit 77
fi
for tool in apt-get dpkg-deb dpkg-shlibdeps cpack runuser desktop-file-validate appstreamcli readelf od; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/deps.sh installs it)"; exit 77; }
done
if dpkg-query -W -f='${Status}' vantor 2>/dev/null | grep -q 'installed'; then
    echo "SKIP: a vantor package is already installed here; the test leaves it alone"
    exit 77
fi

SCRATCH=$(mktemp -d /tmp/vantor-package-test.XXXXXX)
SCRATCH_HOME=$SCRATCH/home
STARTED_PID=
INSTALLED=0
cleanup() {
    stop_started
    if [ "$INSTALLED" = 1 ]; then
        DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vantor >/dev/null 2>&1 \
            || dpkg --purge vantor >/dev/null 2>&1
    fi
    rm -rf "$SCRATCH"
}
trap cleanup EXIT
trap 'exit 1' INT TERM
chmod 755 "$SCRATCH"
# The program runs as nobody, as an ordinary user would run it: its home is here.
mkdir -p "$SCRATCH_HOME/.config" "$SCRATCH_HOME/run"
chmod 700 "$SCRATCH_HOME/run"
chown -R nobody:nogroup "$SCRATCH_HOME"

# Build the package from the built tree.
if ! (cd "$SCRATCH" && cpack -G DEB --config "$BUILD_DIR/CPackConfig.cmake" -B "$SCRATCH/out") >"$SCRATCH/cpack.log" 2>&1; then
    cat "$SCRATCH/cpack.log" >&2
    echo "FAIL: cpack failed" >&2
    exit 1
fi
debs=("$SCRATCH"/out/vantor_*.deb)
if [ ! -f "${debs[0]}" ]; then
    cat "$SCRATCH/cpack.log" >&2
    echo "FAIL: cpack made no vantor_*.deb" >&2
    exit 1
fi
DEB=${debs[0]}
echo "package: $(basename "$DEB"), $(du -k "$DEB" | cut -f1) KiB"
depends=$(dpkg-deb -f "$DEB" Depends)
echo "depends: $depends"
# The dependencies were computed from the programs, not written by hand.
case "$depends" in
    *libqt6widgets6*) ;;
    *) fail "package dependencies do not name the Qt libraries the programs use" ;;
esac

# Every path the package holds, and which of them exist before it is installed
# (shared folders such as /usr/share/applications).
dpkg-deb -c "$DEB" | sed -E -e 's/^(\S+\s+){5}//' -e 's/ -> .*$//' -e 's|^\./|/|' -e 's|/$||' \
    | grep -v '^/\?$' | sort -u >"$SCRATCH/paths"
while IFS= read -r path; do
    [ -e "$path" ] || [ -L "$path" ] && echo "$path"
done <"$SCRATCH/paths" >"$SCRATCH/before"

INSTALLED=1
if ! DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$DEB" >"$SCRATCH/apt.log" 2>&1; then
    cat "$SCRATCH/apt.log" >&2
    echo "FAIL: apt-get install failed" >&2
    exit 1
fi
[ "$(command -v vantor)" = /usr/bin/vantor ] || fail "vantor command is $(command -v vantor), not /usr/bin/vantor"
dpkg -L vantor >"$SCRATCH/files"
STRIPPED_PROGRAMS=1 check_tree /usr "$SCRATCH/files"

# vantor starts from the installed files, as an ordinary user, and stays up.
cd "$SCRATCH_HOME"
start_check vantor /usr/lib/vantor/Vantor nobody vantor
# Run by root, it may write into its program folder: removal must still leave nothing.
start_check vantor-as-root /usr/lib/vantor/Vantor - vantor

# Help > Update opens "Update/Updater" in the folder of the running program.
program_dir=$(dirname "$(readlink -f /usr/bin/vantor)")
updater=$program_dir/Update/Updater
if [ -x "$updater" ]; then
    echo "update program: $updater"
    start_check Updater "$updater" nobody "$updater"
else
    fail "no update program at $updater"
fi

# The shipped language files: every one the build tree has is in the package.
echo "language files in the package:"
dpkg -L vantor | grep -i '/Languages/[^/]*\.bab$' | sed 's/^/  /' || echo "  (none)"
for bab in "$BUILD_DIR"/app/Languages/*.bab; do
    [ -f "$bab" ] || continue
    case "$(basename "$bab")" in vantorOriginal.bab) continue ;; esac
    dpkg -L vantor | grep -qx "$program_dir/Languages/$(basename "$bab")" \
        || fail "language file $(basename "$bab") is not in the package"
done

# Remove it: nothing of the package may be left.
if ! DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq vantor >"$SCRATCH/apt-purge.log" 2>&1; then
    cat "$SCRATCH/apt-purge.log" >&2
    fail "apt-get purge failed"
fi
INSTALLED=0
dpkg-query -W -f='${Status}' vantor 2>/dev/null | grep -q 'installed' && fail "vantor is still installed"
while IFS= read -r path; do
    if { [ -e "$path" ] || [ -L "$path" ]; } && ! grep -qxF "$path" "$SCRATCH/before"; then
        fail "left behind after removal: $path"
    fi
done <"$SCRATCH/paths"
if [ -e /usr/lib/vantor ]; then
    echo "the program folder still holds:" >&2
    find /usr/lib/vantor | sed 's/^/  /' >&2
fi

if [ "$FAILURES" -ne 0 ]; then
    echo "$FAILURES check(s) failed" >&2
    exit 1
fi
echo "package installs, starts and removes cleanly"
