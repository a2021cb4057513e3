#!/usr/bin/env bash
# Builds the program for /usr with Debian's build flags (in build-deb/, or
# the folder given), makes the Debian package, checks it with lintian and the metainfo with appstreamcli, installs it with apt,
# runs the installed /usr/bin/quendra as root twice (direct mode against the
# installed simulator, then web-control mode without a settings file) and
# checks that its settings went to $XDG_CONFIG_HOME and nothing to /usr/bin;
# then removes the package. Needs root; changes the system's packages.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-deb}

export DEBIAN_FRONTEND=noninteractive
# dpkg-dev: the build flags and dpkg-shlibdeps for the package's dependencies;
# dbus-daemon and dbus-bin: a private session bus and a client for the media
# controls' Quit.
apt-get install -y -qq -o DPkg::Lock::Timeout=300 lintian appstream dpkg-dev dbus-daemon dbus-bin procps >/dev/null

appstreamcli validate --no-net dist/org.quendra.Quendra.metainfo.xml

# For /usr, the browser module goes to the multiarch library folder, where
# the package needs no ldconfig call.
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
    -DQUENDRA_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" >/dev/null
rm -f "$build"/quendra_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
debs=("$build"/quendra_*_amd64.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "deb_check: no single quendra_*_amd64.deb in $build" >&2; exit 1; }
deb=$(realpath "${debs[0]}")
dpkg-deb --field "$deb"
dpkg-deb --contents "$deb"
# Errors fail; warnings are shown.
lintian --fail-on error --display-level ">=warning" "$deb"
echo "deb_check: lintian reports no errors"

[ ! -e /usr/bin/Quendra.ini ] || { echo "deb_check: /usr/bin/Quendra.ini exists before the test" >&2; exit 1; }
apt-get install -y -qq -o DPkg::Lock::Timeout=300 "$deb" >/dev/null
/usr/bin/quendra --version
test -f /usr/share/man/man1/quendra.1.gz && test -f /usr/share/man/man1/httpq-sim.1.gz

work=$(mktemp -d)
pids=()
cleanup() {
    local pid
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    rm -rf "$work"
}
trap cleanup EXIT

# wait_until SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}

# Direct mode: the settings file in $XDG_CONFIG_HOME names the simulator.
/usr/bin/httpq-sim --port 0 --password ci --verbose >"$work/sim.log" &
pids+=($!)
wait_until 10 grep -q '^listening on' "$work/sim.log"
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.log")
mkdir -p "$work/direct/quendra"
(umask 077
 printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=ci\r\n' "$port" \
     >"$work/direct/quendra/Quendra.ini")
# Closed through the media controls' Quit, which is the tray menu's Close.
status=0
XDG_CONFIG_HOME="$work/direct" QT_QPA_PLATFORM=offscreen WORK="$work" dbus-run-session -- bash -c '
    /usr/bin/quendra >"$WORK/direct.log" 2>&1 &
    pid=$!
    for _ in $(seq 150); do grep -q "isplaying?p=ci" "$WORK/sim.log" && break; sleep 0.2; done
    grep -q "isplaying?p=ci" "$WORK/sim.log" || { echo "deb_check: the installed program asked the simulator nothing"; kill $pid; exit 1; }
    for _ in $(seq 50); do
        dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quendra /org/mpris/MediaPlayer2 \
            org.mpris.MediaPlayer2.Quit >/dev/null 2>&1 && break
        sleep 0.2
    done
    for _ in $(seq 150); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
    if kill -0 $pid 2>/dev/null; then echo "deb_check: Quit did not close the program"; kill $pid; exit 1; fi
    wait $pid' || status=$?
[ "$status" -eq 0 ] || { cat "$work/direct.log"; exit 1; }
grep -q '^X_STARTUP_POSITION=' "$work/direct/quendra/Quendra.ini" ||
    { echo "deb_check: the close saved nothing to \$XDG_CONFIG_HOME/quendra/Quendra.ini" >&2; exit 1; }
[ ! -e /usr/bin/Quendra.ini ] || { echo "deb_check: settings were written to /usr/bin" >&2; exit 1; }

# Web-control mode, no settings file: the browser starts as root (its helper
# processes run) and the settings file appears in $XDG_CONFIG_HOME.
mkdir -p "$work/web"
XDG_CONFIG_HOME="$work/web" QT_QPA_PLATFORM=offscreen /usr/bin/quendra >"$work/web.log" 2>&1 &
web=$!
pids+=("$web")
browser_runs() { pgrep -P "$web" -f QtWebEngineProcess >/dev/null; }
wait_until 60 browser_runs || { cat "$work/web.log"; echo "deb_check: no browser process in web-control mode" >&2; exit 1; }
wait_until 30 test -f "$work/web/quendra/Quendra.ini" ||
    { echo "deb_check: no settings file in \$XDG_CONFIG_HOME in web-control mode" >&2; exit 1; }
sleep 2
kill -0 "$web" 2>/dev/null || { cat "$work/web.log"; echo "deb_check: the program ended in web-control mode" >&2; exit 1; }
kill -TERM "$web"
wait "$web" || true
[ ! -e /usr/bin/Quendra.ini ] || { echo "deb_check: settings were written to /usr/bin" >&2; exit 1; }
stat -c '%a %n' "$work/web/quendra/Quendra.ini"
[ "$(stat -c '%a' "$work/web/quendra/Quendra.ini")" = 600 ]

apt-get remove -y -qq -o DPkg::Lock::Timeout=300 quendra >/dev/null
[ ! -e /usr/bin/quendra ] || { echo "deb_check: /usr/bin/quendra is still there after removal" >&2; exit 1; }
echo "deb_check: $(basename "$deb") made, checked, installed, run and removed"
