#!/usr/bin/env bash
# The desktop test: drives the real program (direct mode, against the
# simulator) on a real X server (Xvfb) under real window managers and without
# one, with a real XEmbed tray host (trayer), the pointer moved through XTest.
#
#   desktop_test.sh QUENDRA HTTPQ_SIM
#
# Scenarios live in scenarios_*.sh beside this file: each file defines
# functions scenario_NAME and registers them with `scenario NAME [PROGRAM...]`
# (the programs it needs beyond the common ones; without them it is skipped).
# A scenario runs on openbox, icewm and none unless `on_desktops NAME ...`
# names its desktops, in a fresh session each time: its own simulator
# and copy of Quendra (start_sim, start_quendra in desktop.sh). Processes a
# scenario starts itself (a session bus, say) go through `track PID` and are
# stopped when it ends; environment it exports reaches the Quendra it starts.
#
# Environment: QUENDRA_DESKTOP_WMS (desktops, "openbox icewm none xfwm4 i3
# weston"; a desktop whose programs are missing is skipped),
# QUENDRA_DESKTOP_ONLY (a pattern of scenario names), QUENDRA_DESKTOP_DISPLAYS
# (display numbers to try, "10 ... 19"), QUENDRA_DESKTOP_SHOTS (a folder for
# screenshots), QUENDRA_DESKTOP_REQUIRED=1 (a missing program fails the test
# instead of skipping it).
#
# Exit status: 0 passed, 1 failed, 77 (CTest's skip) when a needed program is
# missing and nothing failed.
set -uo pipefail

here=$(cd "$(dirname "$0")" && pwd)
if [ $# -ne 2 ] || [ ! -x "$1" ] || [ ! -x "$2" ]; then
    echo "usage: $0 QUENDRA HTTPQ_SIM (both built)" >&2
    exit 1
fi
QUENDRA=$(realpath "$1")
HTTPQ_SIM=$(realpath "$2")

source "$here/desktop.sh"

SCENARIOS=()
scenario() {
    local name=$1
    shift
    SCENARIOS+=("$name|$*")
}
# on_desktops NAME DESKTOP...: where a scenario runs; without it, on the
# first three (openbox icewm none), so that the whole test stays short.
declare -A ON_DESKTOPS
on_desktops() {
    local name=$1
    shift
    ON_DESKTOPS[$name]=" $* "
}
runs_here() { [[ ${ON_DESKTOPS[$1]:- openbox icewm none } == *" $DESKTOP "* ]]; }
for file in "$here"/scenarios_*.sh; do
    source "$file"
done

missing_programs() {
    local program
    for program in "$@"; do
        command -v "$program" >/dev/null || echo "$program"
    done
}

SKIPPED=()
skip() {
    echo "SKIP: $*"
    SKIPPED+=("$*")
}

missing=$(missing_programs Xvfb xdotool xwininfo xprop trayer openbox)
if [ -n "$missing" ]; then
    skip "missing programs:" $missing
    [ "${QUENDRA_DESKTOP_REQUIRED:-0}" = 1 ] && { echo "FAIL: the desktop test is required here"; exit 1; }
    exit 77
fi

WORK=$(mktemp -d)
cleanup() {
    stop_all
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# Runs one scenario in a subshell of its own: what it exports and starts
# ends with it. Its failures are kept in $WORK/failures.
run_scenario() {
    local name=$1 needs=$2 start before=0
    SCENARIO_NAME=$name
    missing=$(missing_programs $needs)
    if [ -n "$missing" ]; then
        skip "$name/$DESKTOP needs" $missing
        return
    fi
    SESSION=$WORK/$DESKTOP-$name
    mkdir -p "$SESSION"
    start=$(now_ms)
    [ -f "$WORK/failures" ] && before=$(wc -l <"$WORK/failures")
    echo "  $name"
    if (
        TRACKED=() FAILURES=()
        trap stop_all EXIT
        "scenario_$name"
        ((${#FAILURES[@]} == 0)) || printf '%s\n' "${FAILURES[@]}" >>"$WORK/failures"
        ((${#FAILURES[@]} == 0))
    ); then
        echo "  PASS $name/$DESKTOP ($(($(now_ms) - start)) ms)"
    else
        echo "  FAIL $name/$DESKTOP"
        echo "    the program said:"
        grep -v XDG_RUNTIME_DIR "$SESSION/quendra.log" 2>/dev/null | head -n 20 | sed 's/^/      /'
        (($(wc -l <"$WORK/failures" 2>/dev/null || echo 0) > before)) || fail "the scenario ended early"
    fi
    # A scenario may have taken the tray host away.
    if ! tray_ready; then
        stop "$TRAY_PID"
        start_tray || fail "the tray host did not come back"
    fi
}

for DESKTOP in ${QUENDRA_DESKTOP_WMS:-openbox icewm none xfwm4 i3 weston}; do
    SCENARIO_NAME=setup
    if [ "$DESKTOP" = icewm ] && ! command -v icewm >/dev/null; then
        # A second window manager is welcome, not needed.
        echo "NOTE: $DESKTOP is not installed; not run"
        continue
    fi
    missing=$(missing_programs $(desktop_programs "$DESKTOP"))
    if [ -n "$missing" ]; then
        skip "desktop $DESKTOP needs" $missing
        continue
    fi
    desktop_start=$(now_ms)
    echo "desktop: $DESKTOP"
    first=${#TRACKED[@]}
    if start_display && start_wm "$DESKTOP" && start_tray; then
        echo "  on display $DISPLAY"
        for entry in "${SCENARIOS[@]}"; do
            name=${entry%%|*}
            [[ $name =~ ${QUENDRA_DESKTOP_ONLY:-.} ]] && runs_here "$name" || continue
            run_scenario "$name" "${entry#*|}"
        done
    else
        fail "the desktop $DESKTOP did not start"
    fi
    for ((i = ${#TRACKED[@]} - 1; i >= first; i--)); do stop "${TRACKED[i]}"; done
    TRACKED=("${TRACKED[@]:0:first}")
    TRAY_PID="" WM_PID=""
    unset WAYLAND_DISPLAY
    echo "  ($DESKTOP: $(($(now_ms) - desktop_start)) ms)"
done

[ -s "$WORK/failures" ] && mapfile -t -O ${#FAILURES[@]} FAILURES <"$WORK/failures"
if ((${#FAILURES[@]} > 0)); then
    echo "FAILED:"
    printf '  %s\n' "${FAILURES[@]}"
    exit 1
fi
if ((${#SKIPPED[@]} > 0)); then
    [ "${QUENDRA_DESKTOP_REQUIRED:-0}" = 1 ] && { echo "FAIL: the desktop test is required here"; exit 1; }
    exit 77
fi
echo "all passed"
