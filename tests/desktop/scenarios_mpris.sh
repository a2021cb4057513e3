# The desktop's media controls through playerctl, a real MPRIS client, on a
# private session bus: what each command sends to the player, and what the
# player's title and state look like from the desktop.

# A session bus of the scenario's own; Quendra started after it finds it.
# Plasma and GNOME Shell have theirs, where their tray and media controls are.
start_session_bus() {
    sni_desktop && return 0
    dbus-daemon --session --nofork --print-address=1 >"$SESSION/bus" 2>"$SESSION/bus.log" &
    track $!
    wait_for 5000 test -s "$SESSION/bus" || { fail "the private session bus did not start"; return 1; }
    DBUS_SESSION_BUS_ADDRESS=$(head -n 1 "$SESSION/bus")
    export DBUS_SESSION_BUS_ADDRESS
}

media() { playerctl -p quendra "$@" 2>/dev/null; }
media_shows() { [ "$(media "${@:2}")" = "$1" ]; }
on_bus() { [[ $(playerctl -l 2>/dev/null) == *quendra* ]]; }
sent_once() { [ "$(requests "^GET $1 ")" -eq 1 ]; }

expect_media() { # WHAT EXPECTED PLAYERCTL-ARGS...
    wait_for 10000 media_shows "$2" "${@:3}" || fail "$1: playerctl says '$(media "${@:3}")', expected '$2'"
}

scenario media_controls playerctl dbus-daemon dbus-send
on_desktops media_controls openbox icewm none gnome
can_seek() {
    [[ $(dbus-send --session --print-reply --dest=org.mpris.MediaPlayer2.quendra /org/mpris/MediaPlayer2 \
        org.freedesktop.DBus.Properties.Get string:org.mpris.MediaPlayer2.Player string:CanSeek 2>&1) == *"boolean $1"* ]]
}
scenario_media_controls() {
    start_session_bus && start_sim && start_quendra "" || return
    wait_for 10000 on_bus || { fail "quendra is not on the bus"; return 1; }
    expect_media "the first title" "Song Title 1" metadata title
    expect_media "the first artist" "Artist 1" metadata artist
    expect_media "the state at start" Stopped status

    media play-pause || fail "play-pause was refused"
    wait_for 5000 sent_once '/play?p=desk' || fail "play-pause while stopped sent $(requests '^GET /play?p=desk ') /play"
    expect_media "after play-pause while stopped" Playing status

    # The desktop's position bar: a song with a length seeks, to a place
    # (SetPosition) or by an offset (Seek), both through "/jumptotime".
    wait_for 5000 can_seek true || fail "CanSeek is not true while a song with a length plays"
    media position 30 || fail "setting the position was refused"
    wait_for 5000 sent_once '/jumptotime?p=desk&a=30000' ||
        fail "a position of 30 s sent: $(grep -o 'jumptotime[^ ]*' "$SIM_LOG" | tr '\n' ' ')"
    media position 5+ || fail "seeking was refused"
    wait_for 5000 grep -qs '^GET /jumptotime?p=desk&a=3[5-9][0-9][0-9][0-9] ' "$SIM_LOG" ||
        fail "a seek by 5 s sent: $(grep -o 'jumptotime[^ ]*' "$SIM_LOG" | tr '\n' ' ')"
    local position
    position=$(media position)
    [[ ${position%%.*} =~ ^[0-9]+$ ]] && ((${position%%.*} >= 35 && ${position%%.*} < 45)) ||
        fail "after the seeks playerctl reads the position ${position:-none}"
    measured "seeks: $(grep -o 'jumptotime[^ ]*' "$SIM_LOG" | tr '\n' ' '), position then $position s"

    media play-pause || fail "play-pause was refused"
    wait_for 5000 sent_once '/pause?p=desk' || fail "play-pause while playing sent $(requests '^GET /pause?p=desk ') /pause"
    expect_media "after play-pause while playing" Paused status

    # The second title is sent in Windows-1252 and reaches the desktop as text.
    media next || fail "next was refused"
    wait_for 5000 sent_once '/next?p=desk' || fail "next sent $(requests '^GET /next?p=desk ') /next"
    expect_media "the title after next" "Jóga" metadata title
    expect_media "the artist after next" "Björk" metadata artist

    # The volume is the player's: a Set sends its level (0.3 of 255) and
    # reads back what the player then has.
    media volume 0.3 || fail "setting the volume was refused"
    sent_once '/setvolume?p=desk&level=77' || fail "a volume of 0.3 sent: $(grep -o 'setvolume[^ ]*' "$SIM_LOG" | tr '\n' ' ')"
    expect_media "the volume after setting it" 0.301961 volume
    measured "volume: $(grep -o 'setvolume[^ ]*' "$SIM_LOG" | tr '\n' ' ')read back $(media volume)"
    measured "playerctl: $(media metadata title), $(media status); requests /play $(requests '^GET /play?p=desk '), /pause $(requests '^GET /pause?p=desk '), /next $(requests '^GET /next?p=desk ')"

    # The player gone: within 5 s the desktop sees nothing playing, and the
    # player's first answer brings its title back.
    stop "$SIM_PID"
    wait_for 5000 media_shows Stopped status || fail "with the player gone, playerctl says '$(media status)'"
    media_shows "" metadata title || fail "with the player gone, the title is still '$(media metadata title)'"
    # A volume the player cannot receive is an error; the last one it had stays.
    media volume 0.8 && fail "a volume set with the player gone was taken"
    media_shows 0.301961 volume || fail "with the player gone, the volume reads '$(media volume)'"
    "$HTTPQ_SIM" --port "$SIM_PORT" --password desk --titles 30 --verbose >>"$SIM_LOG" 2>&1 &
    SIM_PID=$!
    track "$SIM_PID"
    expect_media "the title once the player is back" "Song Title 1" metadata title

    # Quit is the tray menu's Close: the settings are saved.
    local x y
    read -r x y _ <<<"$(geometry "$BAR")"
    dbus-send --session --type=method_call --dest=org.mpris.MediaPlayer2.quendra /org/mpris/MediaPlayer2 \
        org.mpris.MediaPlayer2.Quit || fail "Quit was refused"
    expect_exit && expect_ini WINAMP X_STARTUP_POSITION $((x * 15)) && expect_ini WINAMP Y_STARTUP_POSITION $((y * 15))
}
