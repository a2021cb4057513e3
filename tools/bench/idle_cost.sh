#!/usr/bin/env bash
# What Quendra costs while it sits running all day: CPU share, event-loop
# wake-ups and memory of the quendra process in direct mode against a playing
# httpQ simulator.
# Usage: tools/bench/idle_cost.sh [--callgrind] [window seconds, default 60]
# --callgrind runs quendra under valgrind and counts the instructions it
# executes in the window, a figure that does not depend on the machine's load;
# it prints the functions that cost most.
set -euo pipefail

callgrind=0
if [ "${1:-}" = --callgrind ]; then
    callgrind=1
    shift
fi
window=${1:-60}
if ! [[ $window =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: $0 [--callgrind] [window seconds]" >&2
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
    "$root/src/windows/bar/frm_quendra.cpp" 2>/dev/null | head -n1)
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

# CPU time of the whole process (all threads) in nanoseconds, from the
# scheduler's own accounting: clock ticks (10 ms) are too coarse for a
# process that runs a few milliseconds a second.
cpu_ns() {
    [ -d "/proc/$1" ] || die "process $1 is gone"
    cat /proc/"$1"/task/*/schedstat 2>/dev/null | awk '{ sum += $1 } END { printf "%d\n", sum }'
}

# Times the main thread went to sleep and was woken again: one per event-loop
# wake-up (and per wait inside a request).
wakeups() {
    awk '$1 == "voluntary_ctxt_switches:" { print $2 }' "/proc/$1/status"
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
if [ "$callgrind" = 1 ]; then
    command -v valgrind >/dev/null 2>&1 || die "valgrind is missing (apt-get install valgrind)"
    valgrind --tool=callgrind --callgrind-out-file="$tmp/callgrind.%p" \
        "$tmp/quendra" > "$tmp/quendra.log" 2>&1 &
    quendra_pid=$!
    # Starting under valgrind is slow: wait for the first polls to arrive.
    r_start=$(request_count)
    for _ in $(seq 120); do
        [ $(( $(request_count) - r_start )) -ge 10 ] && break
        kill -0 "$quendra_pid" 2>/dev/null || die "quendra exited: $(cat "$tmp/quendra.log")"
        pause 1
    done
else
    "$tmp/quendra" > "$tmp/quendra.log" 2>&1 &
    quendra_pid=$!
fi

pause "$warmup"
kill -0 "$quendra_pid" 2>/dev/null || die "quendra exited: $(cat "$tmp/quendra.log")"

# --- measure ---
[ "$callgrind" = 1 ] && callgrind_control -z "$quendra_pid" >/dev/null 2>&1
q0=$(cpu_ns "$quendra_pid"); s0=$(cpu_ns "$sim_pid"); w0=$(wakeups "$quendra_pid")
r0=$(request_count); t0=$(now_ns)
pause "$window"
q1=$(cpu_ns "$quendra_pid"); s1=$(cpu_ns "$sim_pid"); w1=$(wakeups "$quendra_pid")
r1=$(request_count); t1=$(now_ns)
if [ "$callgrind" = 1 ]; then
    callgrind_control -d "$quendra_pid" >/dev/null 2>&1
    for _ in $(seq 50); do
        ls "$tmp"/callgrind."$quendra_pid".* >/dev/null 2>&1 && break
        pause 0.2
    done
fi

rss_kb=$(kb_field "/proc/$quendra_pid/status" VmRSS)
pss_kb=$(kb_field "/proc/$quendra_pid/smaps_rollup" Pss)

if [ "$callgrind" = 1 ]; then
    dump=$(ls -t "$tmp"/callgrind."$quendra_pid".* | head -n1)
    total=$(callgrind_annotate "$dump" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }')
    awk -v ir="$total" -v ns=$((t1 - t0)) -v win="$window" -v r=$((r1 - r0)) 'BEGIN {
        secs = ns / 1e9
        printf "quendra under callgrind over %d s: %.2f million instructions per second; %d requests (%.1f per second)\n", \
            win, ir / secs / 1e6, r, r / secs
    }'
    echo "costliest functions, inclusive (instructions over the window):"
    callgrind_annotate --inclusive=yes --auto=no "$dump" 2>/dev/null \
        | grep -E '^ *[0-9,]+ +\(' | grep -E 'frm_Quendra::|MarqueeLabel::|PictureBox::paintEvent|HttpqClient::Fetch|QWidgetRepaintManager::paintAndFlush|QLabel::paintEvent|QPainter::drawText|QBackingStore::flush' \
        | head -n 20 | sed 's/ \[.*//'
    exit 0
fi

awk -v q=$((q1 - q0)) -v s=$((s1 - s0)) -v r=$((r1 - r0)) -v w=$((w1 - w0)) \
    -v ns=$((t1 - t0)) -v win="$window" -v poll="$poll_ms" -v mq="$marquee_ms" \
    -v rss="$rss_kb" -v pss="$pss_kb" 'BEGIN {
    secs = ns / 1e9
    qcpu = q / ns * 100
    scpu = s / ns * 100
    rmb = rss / 1024
    mem = sprintf("RSS %.1f MB", rmb)
    if (pss != "") mem = mem sprintf(", PSS %.1f MB", pss / 1024)
    printf "quendra over %d s in direct mode (poll %d ms, marquee %s ms): CPU %.3f %% of one core (%.2f ms a second), %s\n", \
        win, poll, mq, qcpu, q / 1e6 / secs, mem
    printf "main thread: %.1f wake-ups a second\n", w / secs
    printf "httpq-sim: CPU %.3f %% of one core; %d requests (%.1f per second)\n", scpu, r, r / secs
    printf "target: at most 0.15 %% of one core and below 60 MB: %s\n", \
        (qcpu <= 0.15 && rmb < 60) ? "met" : "NOT met"
}'
echo "requests in the window, a second, by command:"
grep '^GET ' "$tmp/sim.log" | tail -n +$((r0 + 1)) | head -n $((r1 - r0)) | sed 's/^GET \/\([a-z_]*\).*/\1/' |
    sort | uniq -c | awk -v ns=$((t1 - t0)) '{ printf "  %-18s %.2f\n", $2, $1 / (ns / 1e9) }'
