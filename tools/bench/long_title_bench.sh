#!/bin/sh
# What a huge title costs the bar: builds long-title-bench and runs it once per
# title size, the same title on every answer and a different one each time,
# each in a process of its own so that its peak memory is its own.
# Usage: tools/bench/long_title_bench.sh [seconds, default 8]
set -e
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
seconds=${1:-8}

cmake --build "$build" -j2 --target long-title-bench
echo "title_chars answers   cpu_%    window_s  play_wait_ms  longest_stall_ms marquee_steps peak_MB"
for chars in 60 65536 1000000 10000000; do
    for mode in "" --changing; do
        "$build/long-title-bench" --chars "$chars" --seconds "$seconds" $mode 2>/dev/null
    done
done
echo "target: a press on Play answered within 2000 ms, peak memory below 150 MB, marquee steps about 8 a second"
