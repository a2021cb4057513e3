#!/usr/bin/env bash
# What Quendra costs while it sits running all day: CPU share and memory of
# the quendra process in direct mode against a playing httpQ simulator.
# Usage: tools/bench/idle_cost.sh [window seconds, default 60]
set -euo pipefail

window=${1:-60}
if ! [[ $window =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [window seconds]" >&2
    exit 2
fi
warmup=5
poll_ms=1000

root=$(cd "$(dirname "$0")/../.." && pwd)
build=${BUILD_DIR:-$root/build}
for bin in quendra httpq-sim; do
    if [ ! -x "$build/$bin" ]; then
        echo "$0: $build/$bin is missing; build it with:" >&2
        echo "  cmake --build $build -j2 --target quendra httpq-sim" >&2
        exit 1
    fi
done

# Reported only; read from the source so the label follows the code.
marquee_ms=$(sed -n 's/.*kMarqueeStepMs *= *\([0-9]*\).*/\1/p' \
    "$root/src/bar/frm_Quendra.cpp" 2>/dev/null | head -n1)
marquee_ms=${marquee_ms:-?}

tmp=$(mktemp -d "${TMPDIR:-/tmp}/quendra-idle.XXXXXX")
sim_pid='' quendra_pid='' xvfb_pid='' sleep_pid=''

cleanup() {
    trap - EXIT INT TERM HUP
    local pid
    for pid in "$sleep_pid" "$quendra_pid" "$sim_pid" "$xvfb_pid"; do
        if [ -n "$pid" ]; then kill "$pid" 2>/dev/null || true; fi
    done
    for pid in "$quendra_pid" "$sim_pid" "$xvfb_pid"; do
        if [ -n "$pid" ]; then wait "$pid" 2>/dev/null || true; fi
    done
    rm -rf "$tmp"
}
trap cleanup EXIT
# Exit through the EXIT trap on signals, so Ctrl+C also cleans up.
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

die() { echo "$0: $*" >&2; exit 1; }

# utime+stime of the whole process (all threads), in clock ticks. The command
# name may hold spaces, so split only after the last ')'.
cpu_ticks() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || die "process $1 is gone"
    stat=${stat##*) }
    # shellcheck disable=SC2086 # splitting into fields is the point
    set -- $stat
    echo $(( ${12} + ${13} ))
}

now_ns() { date +%s%N; }

# Sleep in the background so a signal interrupts the wait at once.
pause() { sleep "$1" & sleep_pid=$!; wait "$sleep_pid"; sleep_pid=; }

kb_field() { # file key -> value in kB, empty if absent
    awk -v k="$2:" '$1 == k { print $2; exit }' "$1" 2>/dev/null || true
}

request_count() { grep -c '^GET ' "$tmp/sim.log" || true; }

# --- simulator ---
"$build/httpq-sim" --port 0 --password bench --titles 40 --verbose \
    > "$tmp/sim.log" 2> "$tmp/sim.err" &
sim_pid=$!
port=
for _ in $(seq 50); do
    port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$tmp/sim.log")
    [ -n "$port" ] && break
    kill -0 "$sim_pid" 2>/dev/null || die "httpq-sim exited: $(cat "$tmp/sim.err")"
    sleep 0.1
done
[ -n "$port" ] || die "httpq-sim did not report its port"
# Playing, so the title and song info change as songs advance.
[ "$(curl -s "http://127.0.0.1:$port/play?p=bench")" = 1 ] \
    || die "httpq-sim did not accept play"

# --- display ---
if [ -z "${DISPLAY:-}" ]; then
    if ! command -v Xvfb >/dev/null 2>&1; then
        [ "$(id -u)" = 0 ] || die "Xvfb is missing and DISPLAY is unset"
        apt-get install -y xvfb >/dev/null || die "could not install xvfb"
    fi
    n=99
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1024x768x24 -noreset > "$tmp/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        kill -0 "$xvfb_pid" 2>/dev/null || die "Xvfb exited: $(cat "$tmp/xvfb.log")"
        sleep 0.1
    done
    [ -e "/tmp/.X11-unix/X$n" ] || die "Xvfb :$n did not come up"
    export DISPLAY=":$n"
fi

# --- quendra: settings are read from the executable's folder ---
cp "$build/quendra" "$tmp/quendra"
printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=bench\r\nREFRESH=%s\r\n' \
    "$port" "$poll_ms" > "$tmp/Quendra.ini"
"$tmp/quendra" > "$tmp/quendra.log" 2>&1 &
quendra_pid=$!

pause "$warmup"
kill -0 "$quendra_pid" 2>/dev/null || die "quendra exited: $(cat "$tmp/quendra.log")"

# --- measure ---
q0=$(cpu_ticks "$quendra_pid"); s0=$(cpu_ticks "$sim_pid")
r0=$(request_count); t0=$(now_ns)
pause "$window"
q1=$(cpu_ticks "$quendra_pid"); s1=$(cpu_ticks "$sim_pid")
r1=$(request_count); t1=$(now_ns)

rss_kb=$(kb_field "/proc/$quendra_pid/status" VmRSS)
pss_kb=$(kb_field "/proc/$quendra_pid/smaps_rollup" Pss)
hz=$(getconf CLK_TCK)

awk -v q=$((q1 - q0)) -v s=$((s1 - s0)) -v r=$((r1 - r0)) -v hz="$hz" \
    -v ns=$((t1 - t0)) -v win="$window" -v poll="$poll_ms" -v mq="$marquee_ms" \
    -v rss="$rss_kb" -v pss="$pss_kb" 'BEGIN {
    secs = ns / 1e9
    qcpu = q / hz / secs * 100
    scpu = s / hz / secs * 100
    rmb = rss / 1024
    mem = sprintf("RSS %.1f MB", rmb)
    if (pss != "") mem = mem sprintf(", PSS %.1f MB", pss / 1024)
    printf "quendra over %d s in direct mode (poll %d ms, marquee %s ms): CPU %.2f %% of one core, %s\n", \
        win, poll, mq, qcpu, mem
    printf "httpq-sim: CPU %.2f %% of one core; %d requests (%.1f per second)\n", scpu, r, r / secs
    printf "target: below 0.5 %% of one core and below 60 MB: %s\n", \
        (qcpu < 0.5 && rmb < 60) ? "met" : "NOT met"
}'
