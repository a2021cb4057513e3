#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Quendra
# need, when some are missing. Needs root (or sudo) only when it installs.
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-svg-dev qt6-webengine-dev libqt6svg6 qt6-qpa-plugins
    libgtest-dev libgmock-dev
    fonts-dejavu-core fonts-liberation2
    curl
    # The media-key bridge's tests: a private session bus and a real client.
    dbus playerctl
)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq "${missing[@]}"
