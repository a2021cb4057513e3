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
# KDE Plasma (plasma) runs on an X server of its own as the others do; GNOME
# Shell (gnome) brings its own display, and its scenarios run in private
# mount, network and process namespaces (gnome_namespace.sh), where that
# display is :0 and everything started ends with them.
#
# Environment: QUENDRA_DESKTOP_WMS (desktops, "openbox icewm none fluxbox
# xfwm4 i3 weston plasma gnome"; a desktop whose programs are missing is skipped),
# QUENDRA_DESKTOP_ONLY (a pattern of scenario names), QUENDRA_DESKTOP_SKIP (a
# pattern of scenario names not to run), QUENDRA_DESKTOP_DISPLAYS
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
        command -v "$program" >/dev/null || [ -e "$program" ] || echo "$program"
    done
}

# What a desktop changes of the environment goes back after it.
DESKTOP_VARIABLES=(WAYLAND_DISPLAY XDG_CURRENT_DESKTOP XDG_SESSION_TYPE XAUTHORITY DBUS_SESSION_BUS_ADDRESS HOME
    XDG_RUNTIME_DIR XDG_CONFIG_HOME XDG_DATA_HOME XDG_CACHE_HOME)
declare -A SAVED_VARIABLES
for variable in "${DESKTOP_VARIABLES[@]}"; do
    [ -n "${!variable+set}" ] && SAVED_VARIABLES[$variable]=${!variable}
done
restore_environment() {
    local variable
    for variable in "${DESKTOP_VARIABLES[@]}"; do
        if [ -n "${SAVED_VARIABLES[$variable]+set}" ]; then
            export "$variable=${SAVED_VARIABLES[$variable]}"
        else
            unset "$variable"
        fi
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
        if [ -s "$SESSION/pointer.log" ]; then
            echo "    the pointer said:"
            tail -n 10 "$SESSION/pointer.log" | sed 's/^/      /'
        fi
        (($(wc -l <"$WORK/failures" 2>/dev/null || echo 0) > before)) || fail "the scenario ended early"
    fi
    # A scenario may have taken the tray host away.
    if ! tray_ready; then
        stop "$TRAY_PID"
        start_tray || fail "the tray host did not come back"
    fi
}

# GNOME Shell's scenarios: this test again, inside namespaces of their own.
run_in_gnome_namespaces() {
    local status=0
    [ "$(id -u)" -eq 0 ] || { skip "desktop gnome needs root for its namespaces"; return; }
    QUENDRA_DESKTOP_WMS=gnome QUENDRA_DESKTOP_NAMESPACES=1 \
        unshare --mount --net --pid --fork --mount-proc --propagation private \
        "$here/gnome_namespace.sh" "$QUENDRA" "$HTTPQ_SIM" || status=$?
    case $status in
    0) ;;
    77) skip "desktop gnome: see above" ;;
    *) fail "GNOME Shell's scenarios failed (above)" ;;
    esac
}

for DESKTOP in ${QUENDRA_DESKTOP_WMS:-openbox icewm none fluxbox xfwm4 i3 weston plasma gnome}; do
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
    if [ -n "${QUENDRA_DESKTOP_NAMESPACES:-}" ]; then
        echo "  in namespaces of its own"
    else
        echo "desktop: $DESKTOP"
    fi
    if [ "$DESKTOP" = gnome ] && [ -z "${QUENDRA_DESKTOP_NAMESPACES:-}" ]; then
        run_in_gnome_namespaces
        echo "  ($DESKTOP: $(($(now_ms) - desktop_start)) ms)"
        continue
    fi
    first=${#TRACKED[@]}
    if start_display && start_wm "$DESKTOP" && start_tray; then
        echo "  on display $DISPLAY"
        for entry in "${SCENARIOS[@]}"; do
            name=${entry%%|*}
            [[ $name =~ ${QUENDRA_DESKTOP_ONLY:-.} ]] && runs_here "$name" || continue
            [ -n "${QUENDRA_DESKTOP_SKIP:-}" ] && [[ $name =~ $QUENDRA_DESKTOP_SKIP ]] && continue
            run_scenario "$name" "${entry#*|}"
        done
    else
        fail "the desktop $DESKTOP did not start"
    fi
    # A desktop's bus starts services of its own: they go with it.
    for ((i = ${#TRACKED[@]} - 1; i >= first; i--)); do stop_tree "${TRACKED[i]}"; done
    TRACKED=("${TRACKED[@]:0:first}")
    TRAY_PID="" WM_PID=""
    restore_environment
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
