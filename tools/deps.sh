#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running Quendra
# need, when some are missing. Needs root (or sudo) only when it installs.
# The desktop test's packages are installed too where they can be; when they
# cannot, it says so and exits with 3 (the desktop test then skips).
set -euo pipefail

packages=(
    cmake g++ ninja-build pkg-config
    qt6-base-dev qt6-svg-dev qt6-webengine-dev libqt6svg6 qt6-qpa-plugins libxcb1-dev
    libgtest-dev libgmock-dev
    fonts-dejavu-core fonts-liberation2
    curl
    # tools/include_graph.py, run as a test: the folders' layers hold.
    python3
    # The media-key bridge's tests: a private session bus.
    dbus
)
# The desktop test: an X server, two window managers, a tray host, XTest
# pointer and window queries, screenshots, a real media-controls client.
desktop_packages=(xvfb openbox icewm trayer xdotool x11-utils imagemagick playerctl)
# Translations: lupdate, lrelease and CMake's qt_add_translations.
packages+=(qt6-tools-dev qt6-l10n-tools)
# A screen reader's view: the accessibility bus and its Python client.
desktop_packages+=(at-spi2-core python3-pyatspi)
desktop_packages+=(orca speech-dispatcher) # The screen reader itself (scenarios_access.sh reads what Orca would say).
# Other desktops: xfwm4, the tiling i3, weston with Xwayland, a StatusNotifier
# tray host, and gdbus to read its menu.
desktop_packages+=(xfwm4 i3-wm weston xwayland haskell-gtk-sni-tray-utils libglib2.0-bin)
# KDE Plasma on an X server: KWin, Plasma's shell, its tray and task manager.
desktop_packages+=(kwin-x11 plasma-workspace plasma-desktop)
# GNOME Shell headless with the AppIndicator extension, in namespaces of its
# own (unshare from util-linux, ip from iproute2); its pointer through
# mutter's remote-desktop interface (python3-dbus); its pictures.
desktop_packages+=(gnome-shell gnome-shell-extension-appindicator iproute2 python3-dbus gnome-screenshot)
# GNOME's dark style as Qt takes it: the GTK platform theme.
desktop_packages+=(qt6-gtk-platformtheme)

missing_of() {
    local package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || echo "$package"
    done
}

mapfile -t missing < <(missing_of "${packages[@]}")
mapfile -t missing_desktop < <(missing_of "${desktop_packages[@]}")
[ ${#missing[@]} -eq 0 ] && [ ${#missing_desktop[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    $sudo apt-get install -y -qq "${missing[@]}"
fi
if [ ${#missing_desktop[@]} -gt 0 ]; then
    echo "Installing for the desktop test: ${missing_desktop[*]}"
    if ! $sudo apt-get install -y -qq "${missing_desktop[@]}"; then
        echo "deps.sh: the desktop test's packages could not be installed (${missing_desktop[*]}); it will be skipped" >&2
        exit 3
    fi
fi
