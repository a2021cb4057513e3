#!/usr/bin/env bash
# Drives Quendra with playerctl, a real MPRIS client: Quendra in direct mode on
# a virtual display and a private session bus, against the httpQ simulator,
# whose request log shows what each media command sent.
#   tests/mpris/playerctl_check.sh [path/to/quendra] [path/to/httpq-sim]
# Exits 77 (skipped) when a program it needs is missing.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
quendra=${1:-$root/build/quendra}
sim=${2:-$root/build/httpq-sim}

for tool in Xvfb dbus-daemon dbus-send playerctl; do
    command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
for program in "$quendra" "$sim"; do
    [ -x "$program" ] || { echo "FAIL: $program is not built"; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null; done
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- simulator log (last lines)"; tail -n 15 "$tmp/sim.log"
    echo "--- quendra's output"; cat "$tmp/quendra.log"
    exit 1
}
# wait_for SECONDS COMMAND...: every wait has its limit.
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@" >/dev/null 2>&1; do
        [ "$SECONDS" -ge "$deadline" ] && return 1
        sleep 0.1
    done
}
sent() { grep -qF "GET $1 " "$tmp/sim.log"; }
# A child that has ended stays a zombie until it is waited for.
ended() { [ ! -e "/proc/$1/stat" ] || [ "$(sed 's/.*) //' "/proc/$1/stat" | cut -d' ' -f1)" = Z ]; }
shows() { [ "$(playerctl -p quendra "${@:2}" 2>/dev/null)" = "$1" ]; }

# A display of our own among :20 to :29.
unset DISPLAY
for n in $(seq 20 29); do
    [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 640x480x24 -noreset >/dev/null 2>&1 &
    xvfb=$!
    if wait_for 5 test -S "/tmp/.X11-unix/X$n" && kill -0 "$xvfb" 2>/dev/null; then
        pids+=("$xvfb")
        export DISPLAY=":$n"
        break
    fi
    kill "$xvfb" 2>/dev/null
done
[ -n "${DISPLAY:-}" ] || fail "no free display among :20 to :29"

dbus-daemon --session --nofork --print-address=1 >"$tmp/bus" 2>/dev/null &
pids+=($!)
wait_for 5 test -s "$tmp/bus" || fail "the private session bus did not start"
DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$tmp/bus")
export DBUS_SESSION_BUS_ADDRESS

# Titles in Windows-1252 on the wire come out as UTF-8 on the bus.
printf 'Café – Première\nSecond Song\nThird Song\n' >"$tmp/titles.txt"
touch "$tmp/quendra.log"
"$sim" --port 0 --password mpris --titles-file "$tmp/titles.txt" --verbose >"$tmp/sim.log" 2>&1 &
pids+=($!)
wait_for 5 grep -q listening "$tmp/sim.log" || fail "the simulator did not start"
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' "$tmp/sim.log" | head -n1)

# The settings file lives beside the executable.
mkdir "$tmp/app"
cp "$quendra" "$tmp/app/quendra"
printf '[PLAYLIST]\r\nVISIBLE=0\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=mpris\r\nREFRESH=200\r\n' \
    "$port" >"$tmp/app/Quendra.ini"
env -u QT_QPA_PLATFORM QT_QPA_PLATFORM=xcb "$tmp/app/quendra" >"$tmp/quendra.log" 2>&1 &
quendra_pid=$!
pids+=("$quendra_pid")

wait_for 10 sh -c 'playerctl -l | grep -qx quendra' || fail "quendra is not on the bus"
echo "ok: quendra is on the bus as org.mpris.MediaPlayer2.quendra"
wait_for 10 shows "Café – Première" metadata title || fail "metadata title: $(playerctl -p quendra metadata title 2>&1)"
echo "ok: metadata title is the player's first title"
wait_for 10 shows Stopped status || fail "status is not Stopped"

playerctl -p quendra play-pause || fail "play-pause was refused"
wait_for 5 sent "/play?p=mpris" || fail "play-pause while stopped sent no /play"
wait_for 5 shows Playing status || fail "status did not become Playing"
echo "ok: play-pause while stopped sends /play, status Playing"

playerctl -p quendra play-pause || fail "play-pause was refused"
wait_for 5 sent "/pause?p=mpris" || fail "play-pause while playing sent no /pause"
wait_for 5 shows Paused status || fail "status did not become Paused"
echo "ok: play-pause while playing sends /pause, status Paused"

playerctl -p quendra next || fail "next was refused"
wait_for 5 sent "/next?p=mpris" || fail "next sent no /next"
wait_for 10 shows "Second Song" metadata title || fail "the title did not follow next"
echo "ok: next sends /next and the title follows"

dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.quendra /org/mpris/MediaPlayer2 \
    org.mpris.MediaPlayer2.Quit || fail "Quit was refused"
wait_for 10 ended "$quendra_pid" || fail "Quit did not end quendra"
wait "$quendra_pid" || fail "quendra ended with status $?"
grep -q "X_STARTUP_POSITION" "$tmp/app/Quendra.ini" || fail "Quit did not save the settings"
echo "ok: Quit ends quendra and saves its settings"
