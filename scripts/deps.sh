#!/usr/bin/env bash
# Installs what building and testing Vantor needs on Debian 12, if it is missing.
# As root it runs apt-get itself; as another user it prints the command to run.
set -euo pipefail

PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev
    rsync bc time xvfb xauth imagemagick
    # A real disk whose writes fail, for the durability test (loop device, ext4).
    e2fsprogs mount
    # The program icon (SVG), installing, and the Debian package and its checks.
    qt6-svg-dev desktop-file-utils appstream dpkg-dev file procps
    # Real peers for the updater's tests, started on loopback by the tests.
    python3 python3-pyftpdlib nginx-light tinyproxy ftp-proxy
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "Not root. Run this first, then try again:" >&2
    echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
