#!/usr/bin/env bash
# Installs what building, testing and running Quendra need when some of it is
# missing: the Build-Depends of debian/control, the one list of them (through
# `apt-get build-dep`). With --desktop-test, also the desktop test's tools,
# listed in tests/desktop/packages (tools/test.sh and CI ask for them; the
# README's set-up and tools/demo.sh do not), the large desktops' only where
# QUENDRA_DESKTOP_WMS, when set, names them.
#
# When nothing is missing it needs neither apt nor root; else it needs root
# (or sudo), and waits for another install's apt lock. Exits with 3 when only
# the desktop test's tools could not be installed: that test then skips.
set -euo pipefail
cd "$(dirname "$0")/.."

desktop_test=false
case "${1-}" in
    --desktop-test) desktop_test=true ;;
    "") ;;
    *) echo "usage: $0 [--desktop-test]" >&2; exit 2 ;;
esac

if ! command -v dpkg-query >/dev/null; then
    echo "deps.sh: no dpkg here; install what debian/control's Build-Depends names yourself" >&2
    exit 0
fi

# The build dependencies are met when dpkg-checkbuilddeps says so; without it
# (no dpkg-dev, so no build-essential either) they are not.
build_deps_met() { command -v dpkg-checkbuilddeps >/dev/null && dpkg-checkbuilddeps debian/control 2>/dev/null; }

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }

# The packages after a line "[no-recommends]" come without their
# Recommends: a whole desktop's worth of programs otherwise. Those after
# "[no-recommends DESKTOP]" are that desktop's, needed only where
# QUENDRA_DESKTOP_WMS (the desktops the desktop test runs on) is unset or
# names it.
missing_desktop=()
missing_bare=()
if $desktop_test; then
    bare=false
    wanted=true
    while read -r package; do
        if [[ $package =~ ^\[no-recommends(\ (.*))?\]$ ]]; then
            bare=true
            wanted=true
            if [ -n "${BASH_REMATCH[2]}" ] && [ -n "${QUENDRA_DESKTOP_WMS+set}" ]; then
                [[ " $QUENDRA_DESKTOP_WMS " == *" ${BASH_REMATCH[2]} "* ]] || wanted=false
            fi
        elif $wanted && ! installed "$package"; then
            if $bare; then missing_bare+=("$package"); else missing_desktop+=("$package"); fi
        fi
    done < <(sed -e 's/#.*//' -e 's/[[:space:]]*$//' -e '/^$/d' tests/desktop/packages)
fi

build_missing=false
build_deps_met || build_missing=true
! $build_missing && [ ${#missing_desktop[@]} -eq 0 ] && [ ${#missing_bare[@]} -eq 0 ] && exit 0

command -v apt-get >/dev/null || {
    echo "deps.sh: packages are missing and there is no apt-get to install them" >&2
    exit 1
}
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
# Another install (a desktop updating itself) holds the lock for a while: wait.
apt_get() { "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -y -q "$@"; }

apt_get update >/dev/null || true
if $build_missing; then
    echo "Installing the build dependencies of debian/control"
    apt_get build-dep ./
fi
if [ ${#missing_desktop[@]} -gt 0 ] || [ ${#missing_bare[@]} -gt 0 ]; then
    echo "Installing for the desktop test: ${missing_desktop[*]} ${missing_bare[*]}"
    if { [ ${#missing_desktop[@]} -gt 0 ] && ! apt_get install "${missing_desktop[@]}"; } ||
        { [ ${#missing_bare[@]} -gt 0 ] && ! apt_get install --no-install-recommends "${missing_bare[@]}"; }; then
        echo "deps.sh: the desktop test's packages could not be installed (${missing_desktop[*]} ${missing_bare[*]}); it will be skipped" >&2
        exit 3
    fi
fi
