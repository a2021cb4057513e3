#!/usr/bin/env bash
# Makes docs/screenshot.png: the bar and its docked playlist in direct mode
# against the simulator, on a virtual display.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

missing=()
for tool in Xvfb:xvfb import:imagemagick curl:curl; do
    command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get install -y -qq "${missing[@]}"
fi
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target quendra httpq-sim

tmp=$(mktemp -d)
pids=()
cleanup() { for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done; rm -rf "$tmp"; }
trap cleanup EXIT

display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 400x420x24 -noreset >/dev/null 2>&1 & pids+=($!)
sleep 1

build/httpq-sim --port 0 --password shot --titles 30 >"$tmp/sim.log" & pids+=($!)
for _ in $(seq 50); do grep -q listening "$tmp/sim.log" && break; sleep 0.1; done
port=$(sed -n 's/.*listening on [^:]*:\([0-9]*\).*/\1/p' "$tmp/sim.log" | head -n1)
curl -s "http://127.0.0.1:$port/setplaylistpos?p=shot&a=3" >/dev/null
curl -s "http://127.0.0.1:$port/play?p=shot" >/dev/null
curl -s "http://127.0.0.1:$port/repeat?p=shot&a=1" >/dev/null

cp build/quendra "$tmp/"
printf '[WINAMP]\r\nX_STARTUP_POSITION=150\r\nY_STARTUP_POSITION=150\r\n[PLAYLIST]\r\nX_STARTUP_POSITION=150\r\nY_STARTUP_POSITION=2145\r\nHEIGHT=3300\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=shot\r\n' \
    "$port" >"$tmp/Quendra.ini"
DISPLAY=$display QT_SCALE_FACTOR=1 "$tmp/quendra" >/dev/null 2>&1 & pids+=($!)
sleep 3.5
DISPLAY=$display import -window root -crop 277x357+9+9 +repage "$root/docs/screenshot.png"
echo "wrote docs/screenshot.png"
