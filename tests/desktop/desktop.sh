# Helpers of the desktop test, sourced by desktop_test.sh: a real X server
# (Xvfb), a window manager, a tray host, the simulator and Quendra, the
# pointer driven through XTest (xdotool), and checks that wait with a limit.
#
# Every process is started through `track` and killed by `stop_all` (by its
# id). Waits poll with a deadline (`wait_for`); the only pauses are those that
# pace a gesture the way a hand would.

TRACKED=()

track() { TRACKED+=("$1"); }

# stop PID: ends a process of ours, SIGKILL after 3 s.
stop() {
    local pid=$1
    kill "$pid" 2>/dev/null || return 0
    wait_for 3000 not_running "$pid" || kill -9 "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    return 0
}

# stop_tree PID: the process and everything it started, the deepest first.
stop_tree() {
    local child
    for child in $(ps -o pid= --ppid "$1" 2>/dev/null); do stop_tree "$child"; done
    stop "$1"
}

stop_all() {
    local i
    for ((i = ${#TRACKED[@]} - 1; i >= 0; i--)); do stop "${TRACKED[i]}"; done
    TRACKED=()
}

# Gone, or ended and not yet reaped (a process of the shell a scenario runs in).
not_running() { [[ $(ps -o stat= -p "$1" 2>/dev/null) != [^Z]* ]]; }
running() { ! not_running "$1"; }

# Milliseconds of the wall clock (EPOCHREALTIME without its decimal mark,
# which follows the locale).
now_ms() { local t=${EPOCHREALTIME//[!0-9]/}; echo $((10#$t / 1000)); }

# wait_for MS COMMAND...: runs COMMAND every 50 ms until it succeeds; false
# when MS milliseconds have passed without success.
wait_for() {
    local end=$(($(now_ms) + $1))
    shift
    until "$@"; do
        (($(now_ms) > end)) && return 1
        sleep 0.05
    done
}

# holds MS COMMAND...: COMMAND keeps succeeding for MS milliseconds.
holds() {
    local end=$(($(now_ms) + $1))
    shift
    while (($(now_ms) < end)); do
        "$@" || return 1
        sleep 0.05
    done
}

FAILURES=()
fail() {
    echo "    FAIL: $*"
    FAILURES+=("$SCENARIO_NAME/$DESKTOP: $*")
    return 1
}

measured() { echo "    measured: $*"; }

# Screenshots of interesting moments when QUENDRA_DESKTOP_SHOTS names a folder
# (outside /tmp: GNOME Shell's scenarios run with a /tmp of their own).
shot() {
    [ -n "${QUENDRA_DESKTOP_SHOTS:-}" ] || return 0
    mkdir -p "$QUENDRA_DESKTOP_SHOTS"
    local file=$QUENDRA_DESKTOP_SHOTS/$DESKTOP-$SCENARIO_NAME-$1.png
    # Xwayland's root window holds none of the shell's pictures: the shell takes them.
    if [ "$DESKTOP" = gnome ]; then
        command -v gnome-screenshot >/dev/null && gnome-screenshot -f "$file" >/dev/null 2>&1
        return 0
    fi
    command -v import >/dev/null && import -window root "$file" 2>/dev/null
    return 0
}

# ---- the X server, the window manager and the tray host

# Starts Xvfb on the first free display of QUENDRA_DESKTOP_DISPLAYS. GNOME
# Shell brings its own display (start_gnome).
start_display() {
    [ "$DESKTOP" = gnome ] && return 0
    local n
    for n in ${QUENDRA_DESKTOP_DISPLAYS:-10 11 12 13 14 15 16 17 18 19}; do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 "${XVFB_SCREEN:-1024x768x24}" -nolisten tcp -noreset >"$WORK/xvfb-$n.log" 2>&1 &
        local pid=$!
        track "$pid"
        if wait_for 10000 display_answers ":$n" "$pid"; then
            export DISPLAY=":$n"
            return 0
        fi
        stop "$pid"
    done
    echo "no free X display among ${QUENDRA_DESKTOP_DISPLAYS:-10..19}" >&2
    return 1
}

display_answers() { kill -0 "$2" 2>/dev/null && xwininfo -display "$1" -root >/dev/null 2>&1; }

WM_PID=""
KACTIVITYMANAGERD=/usr/lib/x86_64-linux-gnu/libexec/kactivitymanagerd
APPINDICATOR=ubuntu-appindicators@ubuntu.com
# The programs (or files) each desktop needs beyond the X server.
desktop_programs() {
    case $1 in
    none) ;;
    xfwm4) echo xfwm4 dbus-daemon /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd ;;
    weston) echo weston Xwayland ;;
    plasma) echo kwin_x11 plasmashell kded5 "$KACTIVITYMANAGERD" dbus-daemon dbus-update-activation-environment gdbus ;;
    gnome)
        echo gnome-shell Xwayland unshare ip dbus-daemon gsettings gdbus \
            "/usr/share/gnome-shell/extensions/$APPINDICATOR/metadata.json" /usr/lib/python3/dist-packages/dbus
        ;;
    *) echo "$1" ;;
    esac
}

# SNI: desktops whose tray is a StatusNotifier host of their own (on the
# session bus they export), not an XEmbed tray.
sni_desktop() { [ "$DESKTOP" = plasma ] || [ "$DESKTOP" = gnome ]; }

# start_wm NAME: openbox, icewm, fluxbox, xfwm4, i3, weston, plasma, gnome, or none.
# weston is a Wayland session inside the X server (its X11 backend gives it a
# pointer for XTest to drive) whose Xwayland becomes DISPLAY from then on;
# gnome is GNOME Shell's, run in namespaces of its own (gnome_namespace.sh).
start_wm() {
    WM_PID=""
    case $1 in
    none) return 0 ;;
    openbox) openbox --sm-disable >"$WORK/wm.log" 2>&1 & ;;
    icewm)
        # Without its task bar: the bar's tray would be a second tray host.
        mkdir -p "$WORK/icewm"
        echo ShowTaskBar=0 >"$WORK/icewm/preferences"
        ICEWM_PRIVCFG=$WORK/icewm icewm >"$WORK/wm.log" 2>&1 &
        ;;
    fluxbox)
        # Its toolbar's tray would be a second tray host, even hidden: a
        # toolbar without it, not shown. Its other files go to a home of its own.
        mkdir -p "$WORK/fluxbox"
        printf 'session.screen0.toolbar.visible: false\nsession.screen0.toolbar.tools: clock\n' >"$WORK/fluxbox/init"
        HOME=$WORK/fluxbox fluxbox -rc "$WORK/fluxbox/init" >"$WORK/wm.log" 2>&1 &
        ;;
    xfwm4) start_xfwm4 || return 1 ;;
    i3)
        # No i3bar: its tray would be a second tray host. Floating windows
        # without i3's title bar, as a user of borderless programs sets it.
        printf '# i3 config file (v4)\nfont pango:DejaVu Sans 8\ndefault_floating_border none\n' >"$WORK/i3.conf"
        i3 -c "$WORK/i3.conf" >"$WORK/wm.log" 2>&1 &
        ;;
    weston) start_weston || return 1 ;;
    plasma) start_plasma || return 1 ;;
    gnome) start_gnome || return 1 ;;
    esac
    if [ -z "$WM_PID" ]; then
        WM_PID=$!
        track "$WM_PID"
    fi
    # An EWMH window manager announces itself on the root window.
    wait_for 10000 wm_ready || { echo "the window manager $1 did not start" >&2; return 1; }
}

# xfwm4 reads its settings from xfconfd over D-Bus and ends without them: a
# bus of its own, with xfconfd started on it by us (not by the bus, which
# would leave it behind).
start_xfwm4() {
    dbus-daemon --session --nofork --print-address=1 >"$WORK/wm-bus" 2>"$WORK/wm-bus.log" &
    track $!
    wait_for 5000 test -s "$WORK/wm-bus" || return 1
    local bus
    bus=$(head -n 1 "$WORK/wm-bus")
    mkdir -p "$WORK/xfce"
    DBUS_SESSION_BUS_ADDRESS=$bus XDG_CONFIG_HOME=$WORK/xfce \
        /usr/lib/x86_64-linux-gnu/xfce4/xfconf/xfconfd >"$WORK/xfconfd.log" 2>&1 &
    track $!
    DBUS_SESSION_BUS_ADDRESS=$bus XDG_CONFIG_HOME=$WORK/xfce NO_AT_BRIDGE=1 \
        xfwm4 --compositor=off >"$WORK/wm.log" 2>&1 &
}

start_weston() {
    # The program only needs to see that the session is Wayland's.
    export WAYLAND_DISPLAY=quendra-desktop-$$
    mkdir -p -m 700 "$WORK/runtime"
    XDG_RUNTIME_DIR=$WORK/runtime weston --backend=x11-backend.so --use-pixman --width=1024 --height=768 --xwayland \
        --socket="$WAYLAND_DISPLAY" --idle-time=0 >"$WORK/wm.log" 2>&1 &
    local display
    wait_for 10000 grep -qs 'xserver listening on display' "$WORK/wm.log" || return 1
    display=$(sed -n 's/.*xserver listening on display \(:[0-9]*\).*/\1/p' "$WORK/wm.log" | head -n 1)
    [ -n "$display" ] || return 1
    export DISPLAY=$display
}

# A session bus for the whole desktop, with the desktop's environment for
# the services it starts. Quendra, started in it, finds the desktop's tray
# and media controls there.
start_desktop_bus() {
    dbus-daemon --session --nofork --print-address=1 >"$WORK/desktop-bus" 2>"$WORK/desktop-bus.log" &
    track $!
    wait_for 5000 test -s "$WORK/desktop-bus" || return 1
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$WORK/desktop-bus")
    export DBUS_SESSION_BUS_ADDRESS
}

# Folders of the desktop's own for its settings, caches and sockets.
desktop_home() {
    export HOME=$WORK/$1-home XDG_RUNTIME_DIR=$WORK/$1-runtime
    export XDG_CONFIG_HOME=$HOME/.config XDG_DATA_HOME=$HOME/.local/share XDG_CACHE_HOME=$HOME/.cache
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_CACHE_HOME"
    mkdir -p -m 700 "$XDG_RUNTIME_DIR"
}

# KDE Plasma on the X server: KWin, and Plasma's shell with its tray (a
# StatusNotifier host), its task manager and its media controls.
start_plasma() {
    desktop_home plasma
    export XDG_CURRENT_DESKTOP=KDE
    start_desktop_bus || return 1
    dbus-update-activation-environment --all >/dev/null 2>&1
    kwin_x11 >"$WORK/wm.log" 2>&1 &
    WM_PID=$!
    track "$WM_PID"
    kded5 >"$WORK/kded.log" 2>&1 &
    track $!
    # The StatusNotifier watcher, which Plasma's session manager has kded
    # load: Plasma's tray registers with it.
    wait_for 10000 gdbus call --session --dest org.kde.kded5 --object-path /kded \
        --method org.kde.kded5.loadModule statusnotifierwatcher >/dev/null 2>&1 || return 1
    # The shell ends at start without it, and the bus does not start it.
    "$KACTIVITYMANAGERD" >"$WORK/kactivitymanagerd.log" 2>&1 &
    track $!
    plasmashell --no-respawn >"$WORK/plasmashell.log" 2>&1 &
    track $!
}

# GNOME Shell 43 headless, with a virtual monitor, inside the namespaces
# gnome_namespace.sh made (/tmp, /run/dbus and /run/systemd are private, so
# is the network): its Xwayland takes display :0, which only this test sees.
# The AppIndicator extension is its StatusNotifier host.
start_gnome() {
    desktop_home gnome
    export XDG_CURRENT_DESKTOP=GNOME XDG_SESSION_TYPE=wayland
    # The shell ends at start without a system bus.
    dbus-daemon --system --nofork --nopidfile >"$WORK/system-bus.log" 2>&1 &
    track $!
    start_desktop_bus || return 1
    wait_for 5000 test -S /run/dbus/system_bus_socket || return 1
    # No banners: the shell's own ("logged in as a privileged user") lie over
    # the top of the screen for seconds and take the pointer's clicks there.
    gsettings set org.gnome.shell enabled-extensions "['$APPINDICATOR']" &&
        gsettings set org.gnome.desktop.interface enable-hot-corners false &&
        gsettings set org.gnome.desktop.notifications show-banners false || return 1
    export WAYLAND_DISPLAY=quendra-gnome
    local screen=${XVFB_SCREEN:-1024x768x24}
    gnome-shell --headless --wayland --virtual-monitor "${screen%x*}" --wayland-display="$WAYLAND_DISPLAY" \
        >"$WORK/wm.log" 2>&1 &
    WM_PID=$!
    track "$WM_PID"
    wait_for 30000 gnome_display || { echo "GNOME Shell's Xwayland did not start:" >&2; tail -n 20 "$WORK/wm.log" >&2; return 1; }
    export DISPLAY=:0
    # Its start ends in the overview, which takes the pointer's clicks: it is
    # closed once the start is complete.
    wait_for 30000 grep -qs 'GNOME Shell started at' "$WORK/wm.log" ||
        { echo "GNOME Shell did not complete its start" >&2; return 1; }
    wait_for 10000 overview_closed || { echo "GNOME Shell's overview stayed open" >&2; return 1; }
}

overview_closed() {
    [ "$(shell_call Get org.gnome.Shell OverviewActive)" = "(<false>,)" ] && return 0
    shell_call Set org.gnome.Shell OverviewActive '<false>' >/dev/null
    return 1
}

gnome_display() {
    local auth
    auth=$(ls "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n 1)
    [ -n "$auth" ] && [ -S /tmp/.X11-unix/X0 ] && export XAUTHORITY=$auth
}

shell_call() { # Get|Set INTERFACE PROPERTY [VALUE]: a property of the shell
    gdbus call --session --dest org.gnome.Shell --object-path /org/gnome/Shell \
        --method "org.freedesktop.DBus.Properties.$1" "${@:2}" 2>/dev/null
}

# (Outputs are read whole: under pipefail, grep -q leaving early fails the pipe.)
wm_ready() { [[ $(xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null) == *'window id'* ]]; }

TRAY_PID=""
start_tray() {
    if sni_desktop; then
        # Plasma's tray is there about 3.5 s after the X server.
        wait_for 30000 host_ready || { echo "the desktop's StatusNotifier host did not start" >&2; return 1; }
        return 0
    fi
    trayer --edge top --align right --widthtype pixel --width 120 --height 24 --SetDockType true \
        --transparent false >"$WORK/trayer.log" 2>&1 &
    TRAY_PID=$!
    track "$TRAY_PID"
    wait_for 10000 tray_ready || {
        echo "trayer did not start:" >&2
        cat "$WORK/trayer.log" >&2
        return 1
    }
}

tray_ready() {
    if sni_desktop; then
        host_ready
        return
    fi
    [[ $(xwininfo -root -tree 2>/dev/null) == *'"panel": ("panel" "trayer")'* ]]
}

stop_tray() {
    [ -n "$TRAY_PID" ] && stop "$TRAY_PID"
    TRAY_PID=""
}

# ---- the simulator and Quendra

# start_sim: the simulator on a free port, every request line in $SIM_LOG.
start_sim() {
    SIM_LOG=$SESSION/sim.log
    "$HTTPQ_SIM" --port 0 --password desk --titles 30 --verbose >"$SIM_LOG" 2>&1 &
    SIM_PID=$!
    track "$SIM_PID"
    wait_for 5000 grep -qs '^listening on' "$SIM_LOG" || { fail "the simulator did not start"; return 1; }
    SIM_PORT=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$SIM_LOG")
}

# requests PATTERN: how many request lines the simulator got that match.
requests() { grep -c -- "$1" "$SIM_LOG"; }

# start_quendra "INI LINES": a copy of the program in a folder of its own with
# its settings file (direct mode against the simulator, then the lines given,
# which win), started on the display. Sets QUENDRA_PID, BAR, PLAYLIST and ICON
# (empty without a tray host).
start_quendra() {
    APP_DIR=$SESSION/app
    mkdir -p "$APP_DIR"
    cp "$QUENDRA" "$APP_DIR/quendra"
    {
        printf '%s\r\n' "$1"
        printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=desk\r\n' "$SIM_PORT"
    } | sed 's/\r*$/\r/' >"$APP_DIR/Quendra.ini"
    # In a Wayland session the program chooses its platform itself.
    local platform=(QT_QPA_PLATFORM=xcb)
    [ -n "${WAYLAND_DISPLAY:-}" ] && platform=(-u QT_QPA_PLATFORM)
    # QUENDRA_WRAPPER: a command to start it through (nohup, say).
    ${QUENDRA_WRAPPER:-} env "${platform[@]}" QT_SCALE_FACTOR=1 "$APP_DIR/quendra" >"$SESSION/quendra.log" 2>&1 &
    QUENDRA_PID=$!
    track "$QUENDRA_PID"
    BAR="" PLAYLIST="" ICON=""
    wait_for 10000 find_windows || { fail "Quendra's windows did not appear"; return 1; }
    if [ -n "$TRAY_PID" ]; then
        wait_for 10000 find_icon || { fail "the tray icon did not dock"; return 1; }
    fi
}

# The program's own windows by their names; its 1x1 helper windows are not meant.
window_named() {
    local w
    for w in $(xdotool search --all --pid "$QUENDRA_PID" --name "^$1\$" 2>/dev/null); do
        read -r _ _ width _ _ <<<"$(geometry "$w")"
        ((${width:-0} > 100)) && echo "$w" && return 0
    done
    return 1
}

find_windows() {
    BAR=$(window_named Quendra) && PLAYLIST=$(window_named Playlist) && mapped "$BAR"
}

# The tray icon: the program's small window embedded in the tray host.
find_icon() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$QUENDRA_PID" 2>/dev/null); do
        read -r _ _ width height _ <<<"$(geometry "$w")"
        ((${width:-0} >= 8 && ${width:-0} <= 64 && ${height:-0} >= 8 && ${height:-0} <= 64)) && ICON=$w && return 0
    done
    return 1
}

# ---- what the user sees

# "x y width height map-state" of a window, in screen pixels.
geometry() {
    xwininfo -id "$1" 2>/dev/null | awk '
        /Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
        /^  Width:/ { w = $NF } /^  Height:/ { h = $NF } /Map State:/ { s = $NF }
        END { print x, y, w, h, s }'
}

mapped() { [ "$(geometry "$1" | cut -d' ' -f5)" = IsViewable ]; }
unmapped() { ! mapped "$1"; }

geometry_is() { [ "$(geometry "$1" | cut -d' ' -f1-4)" = "$2" ]; }

# expect_geometry WHAT WINDOW "x y width height": within 5 s, then steady for 0.5 s.
expect_geometry() {
    wait_for 5000 geometry_is "$2" "$3" || { fail "$1 at $(geometry "$2"), expected $3"; return 1; }
    holds 500 geometry_is "$2" "$3" || fail "$1 moved on to $(geometry "$2") after reaching $3"
}

# ini SECTION KEY: the value in the settings file, as the program wrote it.
ini() {
    awk -v section="[$1]" -v key="$2=" '
        { sub(/\r$/, "") }
        /^\[/ { inside = (toupper($0) == toupper(section)); next }
        inside && toupper(substr($0, 1, length(key))) == toupper(key) { print substr($0, length(key) + 1); exit }
    ' "$APP_DIR/Quendra.ini"
}

ini_is() { [ "$(ini "$1" "$2")" = "$3" ]; }

expect_ini() {
    wait_for 5000 ini_is "$1" "$2" "$3" || fail "[$1] $2=$(ini "$1" "$2") in the file, expected $3"
}

# The file's two positions, in pixels, as "bar x y, playlist x y".
file_positions() {
    echo "bar $(($(ini WINAMP X_STARTUP_POSITION) / 15)) $(($(ini WINAMP Y_STARTUP_POSITION) / 15))," \
        "playlist $(($(ini PLAYLIST X_STARTUP_POSITION) / 15)) $(($(ini PLAYLIST Y_STARTUP_POSITION) / 15))"
}

# expect_exit: the program ends within 10 s.
expect_exit() {
    wait_for 10000 not_running "$QUENDRA_PID" || { fail "Quendra did not end"; return 1; }
}

# ---- the pointer, through XTest

# A point of a window: at X, Y pixels from its top left corner.
point() {
    read -r wx wy _ <<<"$(geometry "$1")"
    echo "$((wx + $2)) $((wy + $3))"
}

# GNOME Shell's pointer, through mutter's remote-desktop interface: XTest in
# its Xwayland does not drive the shell's window moves.
mutter_pointer() { /usr/bin/python3 "$here/mutter_pointer.py" "$@" >>"$SESSION/pointer.log" 2>&1; }

click() { # click BUTTON X Y
    if [ "$DESKTOP" = gnome ]; then
        mutter_pointer click "$@"
        return
    fi
    xdotool mousemove -- "$2" "$3"
    sleep 0.05
    xdotool click "$1"
}

# drag BUTTON X Y DX DY [PAUSE]: presses at (X, Y), moves by (DX, DY) in ten
# steps, holding still for PAUSE seconds halfway, and lets go.
drag() {
    local button=$1 x=$2 y=$3 dx=$4 dy=$5 pause=${6:-0} i
    if [ "$DESKTOP" = gnome ]; then
        mutter_pointer drag "$button" "$x" "$y" "$dx" "$dy"
        return
    fi
    xdotool mousemove -- "$x" "$y"
    sleep 0.05
    xdotool mousedown "$button"
    sleep 0.15
    for ((i = 1; i <= 10; i++)); do
        xdotool mousemove -- $((x + dx * i / 10)) $((y + dy * i / 10))
        sleep 0.03
        ((i == 5)) && [ "$pause" != 0 ] && sleep "$pause"
    done
    sleep 0.1
    xdotool mouseup "$button"
}
