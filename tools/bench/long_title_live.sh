#!/usr/bin/env bash
# A huge title from a real server: the real program in direct mode on a
# virtual display against the simulator, whose first title has the given
# size (10 MB by default), in the title poll, the marquee and the playlist.
# The pointer presses Play on the face ten times; the bench prints how long
# each press took to reach the simulator and the program's peak memory.
# Usage: tools/bench/long_title_live.sh [title bytes, default 10485760]
set -euo pipefail

bytes=${1:-10485760}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
for program in Xvfb xdotool xwininfo; do
    command -v "$program" >/dev/null || { echo "$0: needs $program (tools/deps.sh --desktop-test installs it)" >&2; exit 1; }
done
cmake --build "$build" -j2 --target quendra httpq-sim >/dev/null

# The desktop test's helpers: track and stop_all, wait_for, start_display.
source "$root/tests/desktop/desktop.sh"
WORK=$(mktemp -d "${TMPDIR:-/tmp}/quendra-long-title.XXXXXX")
tmp=$WORK
cleanup() {
    stop_all
    [ -n "${KEEP:-}" ] && echo "kept $tmp" || rm -rf "$tmp"
}
trap cleanup EXIT

{
    printf 'Long '
    head -c "$((bytes - 5))" /dev/zero | tr '\0' x
    printf '\nSecond Song\nThird Song\n'
} >"$tmp/titles.txt"

"$build/httpq-sim" --port 0 --password long --titles-file "$tmp/titles.txt" --verbose >"$tmp/sim.log" 2>&1 &
track $!
wait_for 10000 grep -qs '^listening on' "$tmp/sim.log"
port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$tmp/sim.log")

QUENDRA_DESKTOP_DISPLAYS="60 61 62 63 64 65 66 67 68 69" start_display

# The bar at (100, 100) pixels; the settings file lives beside the program.
mkdir "$tmp/app"
cp "$build/quendra" "$tmp/app/"
printf '[WINAMP]\r\nX_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=1500\r\n[PLAYLIST]\r\nX_STARTUP_POSITION=1500\r\nY_STARTUP_POSITION=3495\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=long\r\n' \
    "$port" >"$tmp/app/Quendra.ini"
QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 "$tmp/app/quendra" >"$tmp/quendra.log" 2>&1 &
quendra=$!
track "$quendra"
# Running: the title polled and the playlist fetched (its first fetch is at once).
wait_for 20000 grep -qs 'getplaylisttitle' "$tmp/sim.log"
sleep 3

presses() { grep -c '^GET /play?p=long ' "$tmp/sim.log" || true; }
worst=0
for i in 1 2 3 4 5 6 7 8 9 10; do
    before=$(presses)
    xdotool mousemove 146 204 click 1
    start=$(now_ms)
    if ! wait_for 10000 test "$(presses)" -gt "$before"; then
        echo "press $i: no /play within 10 s"
        worst=10000
        continue
    fi
    took=$(($(now_ms) - start))
    ((took > worst)) && worst=$took
    echo "press $i: /play reached the simulator after $took ms"
    # Presses at many points of the poll's one-second cycle.
    sleep 0.37
done
peak=$(awk '/^VmHWM:/ { printf "%.0f", $2 / 1024 }' "/proc/$quendra/status")
cpu=$(awk '{ printf "%.1f", ($14 + $15) / 100 }' "/proc/$quendra/stat")
echo "title of $bytes bytes: slowest press $worst ms, peak memory $peak MB, CPU so far ${cpu} s"
echo "target: every press within 2000 ms, peak memory below 150 MB:" \
    "$( ((worst <= 2000 && peak < 150)) && echo met || echo NOT met)"
