# The program without a mouse: the player's keys on the focused bar, Return
# in the playlist, and a screen reader's view through AT-SPI (the
# accessibility bus of at-spi2-core on a private session bus, read with
# python3-pyatspi), which finds the face's named buttons and presses one.

# The transport commands the simulator got, in order, one a line.
commands_sent() { grep -oE '^GET /(prev|play|pause|stop|next|fadeoutandstop|setplaylistpos)\?p=desk(&a=[0-9-]+)?' "$SIM_LOG" | cut -c5-; }
commands_are() { [ "$(commands_sent | tr '\n' ' ')" = "$1" ]; }

scenario keyboard
scenario_keyboard() {
    start_sim && start_quendra "" || return
    wait_for 10000 grep -qs '^GET /getplaylisttitle' "$SIM_LOG" || { fail "the playlist was not fetched"; return 1; }
    # Focus by a click on the display panel, where the face does nothing.
    click 1 $(point "$BAR" 100 40)
    sleep 0.2
    xdotool key x v b
    wait_for 5000 commands_are "/play?p=desk /stop?p=desk /next?p=desk " ||
        fail "keys X, V, B on the bar sent: $(commands_sent | tr '\n' ' ')"
    # Each key marked its button; Shift+Tab marks the one before the last,
    # fade out and stop, and Space presses it.
    xdotool key shift+Tab space
    wait_for 5000 commands_are "/play?p=desk /stop?p=desk /next?p=desk /fadeoutandstop?p=desk " ||
        fail "Shift+Tab, Space on the bar sent: $(commands_sent | tr '\n' ' ')"
    shot focus-mark

    # The first entry by a click, the second by Down; Return plays it.
    click 1 $(point "$PLAYLIST" 60 73)
    sleep 0.2
    xdotool key Down Return
    wait_for 5000 commands_are "/play?p=desk /stop?p=desk /next?p=desk /fadeoutandstop?p=desk /setplaylistpos?p=desk&a=1 /play?p=desk " ||
        fail "Down, Return in the playlist sent: $(commands_sent | tr '\n' ' ')"
    measured "in order: $(commands_sent | tr '\n' ' ')"
}

# at-spi2-core's bus launcher on the scenario's session bus; Qt finds the
# accessibility bus through it.
start_accessibility_bus() {
    start_session_bus || return 1
    /usr/libexec/at-spi-bus-launcher --launch-immediately >"$SESSION/atspi.log" 2>&1 &
    track $!
    wait_for 5000 dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
        >/dev/null 2>&1 || { fail "the accessibility bus did not start"; return 1; }
    export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

screen_reader() { /usr/bin/python3 "$here/atspi_buttons.py" Quendra "$@" >"$SESSION/atspi-out.log" 2>&1; }
reader_sees() { screen_reader && grep -q "^buttons: .*$1" "$SESSION/atspi-out.log"; }

scenario screen_reader dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher
scenario_screen_reader() {
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { fail "python3-pyatspi is missing (tools/deps.sh installs it)"; return 1; }
    start_accessibility_bus && start_sim && start_quendra "" || return
    local face="Previous, Play, Pause, Stop, Fade out and stop, Next, Volume down, Volume up, Shuffle, Repeat, Playlist"
    wait_for 10000 reader_sees "$face" || { fail "the screen reader saw: $(cat "$SESSION/atspi-out.log")"; return 1; }
    grep -q "Settings, Hide, Close" "$SESSION/atspi-out.log" || fail "the strip's buttons are missing: $(cat "$SESSION/atspi-out.log")"
    measured "$(head -n 1 "$SESSION/atspi-out.log")"
    screen_reader Play || { fail "pressing Play through AT-SPI: $(cat "$SESSION/atspi-out.log")"; return 1; }
    wait_for 5000 commands_are "/play?p=desk " || fail "Play pressed through AT-SPI sent: $(commands_sent | tr '\n' ' ')"

    # The mark's moves and a switch's change reach the reader as events.
    click 1 $(point "$BAR" 100 40)
    sleep 0.2
    xdotool key Tab Tab s
    wait_for 5000 grep -qs '^GET /shuffle?p=desk&a=1' "$SIM_LOG" || fail "S with the reader on sent no shuffle"
    kill -0 "$QUENDRA_PID" 2>/dev/null || { fail "Quendra ended while the reader listened"; return 1; }
    screen_reader || fail "the reader lost the buttons after the mark moved: $(cat "$SESSION/atspi-out.log")"
}
