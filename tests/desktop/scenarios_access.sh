# The program without a mouse: the player's keys on the focused bar, Return
# in the playlist, a screen reader's view through AT-SPI (the accessibility
# bus of at-spi2-core on a private session bus, read with python3-pyatspi),
# which finds the face's named buttons and presses one, and what Orca says
# as the bar, the playlist and the settings dialog are used by keyboard, and
# of the player beside the focus.

# The transport commands the simulator got, in order, one a line.
commands_sent() { grep -oE '^GET /(prev|play|pause|stop|next|fadeoutandstop|setplaylistpos)\?p=desk(&a=[0-9-]+)?' "$SIM_LOG" | cut -c5-; }
commands_are() { [ "$(commands_sent | tr '\n' ' ')" = "$1" ]; }
has_keyboard() { [ "$(xdotool getwindowfocus 2>/dev/null)" = "$1" ]; }

scenario keyboard
scenario_keyboard() {
    start_sim && start_quendra "" || return
    wait_for 10000 grep -qs '^GET /getplaylisttitle' "$SIM_LOG" || { fail "the playlist was not fetched"; return 1; }
    # Focus by a click on the display panel, where the face does nothing.
    click 1 $(point "$BAR" 100 40)
    wait_for 3000 has_keyboard "$BAR" || measured "the bar has no X focus after the click"
    sleep 0.1
    local songs
    songs=$(requests '^GET /getinfo?p=desk&a=0')
    xdotool key x v b
    wait_for 5000 commands_are "/play?p=desk /stop?p=desk /next?p=desk " ||
        fail "keys X, V, B on the bar sent: $(commands_sent | tr '\n' ' ')"
    # The next song is marked in the playlist before the click below.
    wait_for 5000 songs_read_beyond "$songs" || fail "B brought no new song"
    # Each key marked its button; Shift+Tab marks the one before the last,
    # fade out and stop, and Space presses it.
    xdotool key shift+Tab space
    wait_for 5000 commands_are "/play?p=desk /stop?p=desk /next?p=desk /fadeoutandstop?p=desk " ||
        fail "Shift+Tab, Space on the bar sent: $(commands_sent | tr '\n' ' ')"
    shot focus-mark

    # The first entry by a click, the second by Down; Return plays it. The
    # keys wait for the click to have given the playlist the keyboard (a
    # loaded machine takes its time), else the bar would take them.
    click 1 $(point "$PLAYLIST" 60 73)
    wait_for 3000 has_keyboard "$PLAYLIST" || measured "the playlist has no X focus after the click"
    sleep 0.1
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
# tab_until REGEX: Tab, a key at a time, each once Orca has spoken of the
# last, until it says a line that matches (at most ten keys); what it said
# before the first of them does not count. Keys faster than it speaks make
# it skip what it was about to say.
tab_until() {
    local i before start
    start=$(orca_said | wc -l)
    for i in 1 2 3 4 5 6 7 8 9 10; do
        before=$(orca_said | wc -l)
        xdotool key Tab
        wait_for 3000 orca_spoke_beyond $((before + 1))
        # A field comes in pieces (its text, its name, its role), the last
        # of them late on a loaded machine: the next Tab waits for a pause.
        wait_for 5000 orca_paused
        orca_said | tail -n +$((start + 1)) | grep -qE -- "$1" && return 0
    done
    return 1
}
orca_spoke_beyond() { (($(orca_said | wc -l) > $1)); }
# True once Orca has said nothing new for 0.7 s.
orca_paused() {
    local lines
    lines=$(orca_said | wc -l)
    sleep 0.7
    (($(orca_said | wc -l) == lines))
}
played_last() { [ "$(commands_sent | tail -n 1)" = "/play?p=desk" ]; }

# Orca itself, as a blind user runs it: its speech goes nowhere (-d speech)
# but each phrase it would say is a "SPEECH OUTPUT:" line of its debug log;
# without -d braille it waits for a braille display. Its settings and
# runtime folders are the session's own, its language English. Orca refuses
# to start beside another process named orca of the same user (and would
# kill it when told to replace it): desktop tests run side by side, so this
# one starts without that check and keeps the interpreter's name. Its log is
# written a line at a time, as it speaks.
start_orca() {
    mkdir -p "$SESSION/orca/home" "$SESSION/orca/prefs"
    mkdir -p -m 700 "$SESSION/orca/run"
    HOME=$SESSION/orca/home XDG_RUNTIME_DIR=$SESSION/orca/run XDG_CONFIG_HOME=$SESSION/orca/home/.config \
        XDG_DATA_HOME=$SESSION/orca/home/.local/share LANGUAGE=en LC_ALL=C.UTF-8 \
        /usr/bin/python3 -c 'import runpy, sys
main = runpy.run_path("/usr/bin/orca", run_name="orca_launcher")["main"]
main.__globals__.update(otherOrcas=lambda: [], setProcessName=lambda name: None,
                        open=lambda path, mode: open(path, mode, buffering=1))
sys.argv[0] = "orca"
sys.exit(main())' -d braille -d speech -u "$SESSION/orca/prefs" --debug-file="$SESSION/orca.log" \
        >"$SESSION/orca.out" 2>&1 &
    track $!
    # Ended by SIGKILL at the end (it takes its time over SIGTERM): no word of it.
    disown
    wait_for 20000 grep -qs 'ORCA: ATSPI registry initialized' "$SESSION/orca.log" ||
        { fail "Orca did not start: $(tail -n 5 "$SESSION/orca.out") $(tail -n 5 "$SESSION/orca.log")"; return 1; }
}

# What Orca said since the last orca_listen, one phrase a line.
orca_listen() { ORCA_FROM=$(($(wc -l <"$SESSION/orca.log") + 1)); }
orca_said() { tail -n +"$ORCA_FROM" "$SESSION/orca.log" | sed -nE "s/.*SPEECH OUTPUT: '(.*)' ?\{'established.*/\1/p"; }
orca_says() { orca_said | grep -qF -- "$1"; }
orca_said_line() { orca_said | grep -qE -- "$1"; }
heard() { orca_said | tr '\n' '|'; }
# The bar has read the information of more songs than N.
songs_read_beyond() { (($(requests '^GET /getinfo?p=desk&a=0') > $1)); }

# Every AT-SPI event from now on, one a line, in $SESSION/events.log.
start_listener() {
    /usr/bin/python3 "$here/atspi_secret.py" listen "$SESSION/events.log" 2>"$SESSION/listener.log" &
    track $!
    wait_for 5000 grep -qs '^listening' "$SESSION/events.log" || { fail "the AT-SPI listener did not start"; return 1; }
}
# Letters of both cases and a digit, typed over the saved password.
NEW_PASSWORD=Vq8zJ
type_password() {
    local key before i
    for ((i = 0; i < ${#1}; i++)); do
        key=${1:i:1}
        before=$(orca_said | wc -l)
        xdotool type -- "$key"
        wait_for 2000 orca_spoke_beyond "$before"
    done
}
# The program holds what was typed (the dialog writes every keystroke into
# its settings, and the settings go to the player with the next request).
ini_passwd_held() { grep -qs "p=$1" "$SIM_LOG"; }
# password_kept_secret SAVED TYPED: no event of the program carried either
# password or a character typed; what the password field itself sent holds
# masks alone; a client that asks the field reads no character of either.
password_kept_secret() {
    local saved=$1 typed=$2 field
    sleep 0.5
    measured "events of the password field: $(grep -F '|password text|' "$SESSION/events.log" | grep -v '^object:state-changed' | cut -d'|' -f1,7 | tr '\n' ' ' | cut -c1-1500)"
    ! grep -F '|Quendra|' "$SESSION/events.log" | grep -qF -e "$saved" -e "$typed" ||
        fail "AT-SPI events carried a password: $(grep -F -e "$saved" -e "$typed" "$SESSION/events.log" | head -n 5 | tr '\n' ' ')"
    ! grep -F '|password text|' "$SESSION/events.log" | grep '^object:text-changed' | cut -d'|' -f7 |
        grep -q "[$typed$saved]" ||
        fail "the password field's text events carried what was typed: $(grep -F '|password text|' "$SESSION/events.log" | grep '^object:text-changed' | cut -d'|' -f1,7 | tr '\n' ' ')"
    field=$(/usr/bin/python3 "$here/atspi_secret.py" ask Quendra 2>&1) || { fail "no password field through AT-SPI: $field"; return 1; }
    measured "the password field to a client that asks: $(tr '\n' ' ' <<<"$field" | cut -c1-400)"
    ! sed -nE 's/^(text|given): //p' <<<"$field" | grep -q "[$typed$saved]" ||
        fail "the password field gave away what was typed: $(grep -E '^(text|given):' <<<"$field" | tr '\n' ' ')"
}

# The player's keys and the settings dialog with Orca listening, the bar
# never clicked: it takes the keyboard as the window manager activates it.
scenario orca orca dbus-daemon dbus-send /usr/libexec/at-spi-bus-launcher
on_desktops orca openbox
scenario_orca() {
    /usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { fail "python3-pyatspi is missing (tools/deps.sh installs it)"; return 1; }
    start_accessibility_bus && start_orca && start_sim && start_quendra "" || return
    wait_for 10000 grep -qs '^GET /getplaylisttitle' "$SIM_LOG" || { fail "the playlist was not fetched"; return 1; }
    # Every button and switch of the bar, by name, to any AT-SPI client.
    local face="Previous, Play, Pause, Stop, Fade out and stop, Next, Volume down, Volume up, Shuffle, Repeat, Playlist"
    wait_for 10000 reader_sees "$face, Settings, Hide, Close" || { fail "AT-SPI shows: $(cat "$SESSION/atspi-out.log")"; return 1; }

    # As Alt+Tab does: the window manager activates the playlist, then the bar.
    # Each is a window with its title as its name (a frame, for Orca), which
    # its command for the title bar reads.
    orca_listen
    xdotool windowactivate --sync "$PLAYLIST" && sleep 0.5 && xdotool windowactivate --sync "$BAR" ||
        { fail "the window manager did not activate the windows"; return 1; }
    sleep 1
    orca_says "Playlist frame" && orca_says "Quendra frame" || fail "activating the windows: Orca said: $(heard)"
    measured "the windows activated: $(heard)"
    orca_listen
    xdotool key Tab
    wait_for 5000 orca_says "Previous push button" || fail "Tab on the activated bar: Orca said: $(heard)"
    measured "Tab: $(heard)"
    orca_listen
    xdotool key x
    wait_for 5000 commands_are "/play?p=desk " || fail "X on the activated bar sent: $(commands_sent | tr '\n' ' ')"
    # Play is heard: the state it brings, or the song it starts, once.
    wait_for 5000 orca_said_line '^notification (Playing|Artist 1 - Song Title 1)\.?$' || fail "X: Orca said: $(heard)"
    measured "X: $(heard)"

    # The next song: the playlist marks it, and the reader stays on the bar.
    local songs
    songs=$(requests '^GET /getinfo?p=desk&a=0')
    orca_listen
    xdotool key b
    wait_for 5000 songs_read_beyond "$songs" || fail "B brought no new song"
    sleep 1.5
    # Nothing but the key and the bar's buttons (X's may come late).
    ! orca_said | grep -qvE '^(b |[A-Za-z ]+ push button\.)$' || fail "a track change: Orca said: $(heard)"
    measured "B: $(heard)"

    orca_listen
    xdotool key s
    wait_for 5000 grep -qs '^GET /shuffle?p=desk&a=1' "$SIM_LOG" || fail "S sent no shuffle"
    # What Qt makes of a checkable button: a check box, and it is on.
    wait_for 5000 orca_said_line '^(Shuffle check box )?checked\.?$' || fail "S on the bar: Orca said: $(heard)"
    orca_says "Shuffle check box" || fail "S on the bar: Orca did not name the Shuffle switch: $(heard)"
    measured "S: $(heard)"

    # The player switches shuffle off itself while the focus is on another
    # button: heard all the same, and the focus stays.
    xdotool key Tab
    sleep 0.5
    orca_listen
    player_command '/shuffle?p=desk&a=0'
    wait_for 5000 orca_said_line '^notification Shuffle off\.?$' || fail "the player's own shuffle off: Orca said: $(heard)"
    measured "the player's shuffle off: $(heard)"

    # The settings dialog from the strip's settings button, then its fields,
    # with every event on the accessibility bus written down.
    start_listener || return
    orca_listen
    xdotool key Tab Tab space
    wait_for 5000 window_named Settings >/dev/null || { fail "the settings dialog did not open: $(heard)"; return 1; }
    tab_until '^httpq server URL (text|entry)' || fail "the server field: Orca said: $(heard)"
    tab_until '^httpq password password text' || fail "the password field: Orca said: $(heard)"
    measured "the dialog: $(heard)"
    ! orca_said | grep -qw desk || fail "Orca read the password aloud: $(heard)"

    # A new password typed over the saved one, a key at a time as Orca
    # speaks: it may say that a character came, never which.
    orca_listen
    type_password "$NEW_PASSWORD"
    wait_for 5000 ini_passwd_held "$NEW_PASSWORD" || fail "the typed password did not reach the settings"
    measured "typing $NEW_PASSWORD: $(heard)"
    ! orca_said | grep -qiE "^(cap )?[$NEW_PASSWORD]\.? *$|$NEW_PASSWORD" || fail "Orca spoke the password typed: $(heard)"
    password_kept_secret desk "$NEW_PASSWORD"
    # The saved one again, for the presses below.
    xdotool key ctrl+a && xdotool type --delay 100 desk
    tab_until '^Connection type' || fail "the connection options: Orca said: $(heard)"
    # Tab comes into the group on the chosen option.
    wait_for 3000 orca_said_line '^direct to httpq' && ! orca_said_line '^web control' ||
        fail "Tab into the connection options: Orca said: $(heard)"
    xdotool key Escape

    # A button pressed through AT-SPI does what a click does.
    orca_listen
    screen_reader Play || { fail "pressing Play through AT-SPI: $(cat "$SESSION/atspi-out.log")"; return 1; }
    wait_for 5000 played_last || fail "Play pressed through AT-SPI sent: $(commands_sent | tr '\n' ' ')"
    # Heard as a press of the key is; the next start waits for it, as a
    # listening user would (two starts at once are heard as one).
    wait_for 5000 orca_said_line '^notification ' || fail "Play pressed through AT-SPI: Orca said: $(heard)"

    # The playlist has its name; Return on an entry is heard as the song it starts.
    orca_listen
    xdotool windowactivate --sync "$PLAYLIST" || { fail "the window manager did not activate the playlist"; return 1; }
    wait_for 5000 orca_said_line '^Playlist\.$' || fail "the activated playlist's list: Orca said: $(heard)"
    measured "the playlist: $(heard)"
    orca_listen
    xdotool key Down
    sleep 0.5
    xdotool key Return
    wait_for 5000 grep -qs '^GET /setplaylistpos' "$SIM_LOG" || fail "Return in the playlist sent no jump"
    wait_for 5000 orca_said_line '^notification .+ - .+' || fail "Return in the playlist: Orca said: $(heard)"
    measured "Down, Return: $(heard)"
}

# The player's own change, made beside the program as another remote would.
player_command() {
    exec 5<>"/dev/tcp/127.0.0.1/$SIM_PORT" || return 1
    printf 'GET %s HTTP/1.0\r\n\r\n' "$1" >&5
    cat <&5 >/dev/null
    exec 5<&-
}
