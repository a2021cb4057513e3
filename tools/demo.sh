#!/usr/bin/env bash
# Builds Quendra, starts the bundled httpQ simulator on 127.0.0.1:4800 and
# starts Quendra in direct mode against it. The demo copy keeps its own
# settings file in build/demo/Quendra.ini.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The browser module where the build has the web engine (QUENDRA_WEBENGINE).
targets=(quendra httpq-sim)
grep -qx 'QUENDRA_WEBENGINE:BOOL=ON' build/CMakeCache.txt && targets+=(quendra-webbrowser)
cmake --build build -j"$(nproc)" --target "${targets[@]}"

# The settings file lives beside the executable.
mkdir -p build/demo
cp -f build/quendra build/demo/
[[ " ${targets[*]} " != *" quendra-webbrowser "* ]] || cp -f build/quendra-webbrowser.so build/demo/
# It holds the password: readable by its owner only, as Quendra makes its own.
if [ ! -f build/demo/Quendra.ini ]; then
    (umask 077
     printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=4800\r\nHTTPQ_PASSWD=demo\r\n' \
         > build/demo/Quendra.ini)
fi

build/httpq-sim --port 4800 --password demo --titles 40 &
sim=$!
trap 'kill $sim 2>/dev/null' EXIT
sleep 0.3
build/demo/quendra
