#!/usr/bin/env bash
# Makes docs/focus-mark.png (the keyboard's focus mark on the face's play
# button) and docs/settings-de.png (the settings dialog in German) from the
# running program against the simulator, on a virtual display. Needs a
# build (build/quendra, build/httpq-sim), Xvfb, xdotool, xwininfo and
# ImageMagick's import. QUENDRA_SHOT_DISPLAY picks the display (default :97).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

tmp=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$tmp"; }
trap cleanup EXIT

export DISPLAY=${QUENDRA_SHOT_DISPLAY:-:97}
Xvfb "$DISPLAY" -screen 0 800x600x24 -nolisten tcp -noreset >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 50); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.1; done

build/httpq-sim --port 0 --password shot --titles 30 >"$tmp/sim.log" & pids+=($!)
for _ in $(seq 50); do grep -q listening "$tmp/sim.log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' "$tmp/sim.log" | head -n1)

# start LANGUAGE: a copy of the program at (10, 10), in direct mode, in that language.
start() {
    mkdir -p "$tmp/app"
    cp build/quendra "$tmp/app/"
    printf '[WINAMP]\r\nX_STARTUP_POSITION=150\r\nY_STARTUP_POSITION=150\r\n[PLAYLIST]\r\nVISIBLE=0\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=shot\r\n' \
        "$port" >"$tmp/app/Quendra.ini"
    LANGUAGE=$1 LANG=$1.UTF-8 LC_ALL= QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 "$tmp/app/quendra" >/dev/null 2>&1 &
    pid=$!
    pids+=("$pid")
    sleep 3
}
stop() { kill "$pid"; wait "$pid" 2>/dev/null || true; }

start en_US
# Focused by a click on the display panel; Tab twice marks play.
xdotool mousemove 110 50 click 1
sleep 0.3
xdotool key Tab Tab
sleep 0.5
import -window root -crop 275x133+10+10 +repage "$root/docs/focus-mark.png"
stop

start de_DE
# The gear at the left of the title strip.
xdotool mousemove 17 17 click 1
sleep 1
dialog=$(xdotool search --all --onlyvisible --name '^Einstellungen$' | head -n1)
read -r x y w h < <(xwininfo -id "$dialog" | awk '/Absolute upper-left X:/ {x=$NF} /Absolute upper-left Y:/ {y=$NF}
    /^  Width:/ {w=$NF} /^  Height:/ {h=$NF} END {print x, y, w, h}')
import -window root -crop "${w}x${h}+${x}+${y}" +repage "$root/docs/settings-de.png"
stop
echo "wrote docs/focus-mark.png and docs/settings-de.png"
