# An installed copy, run by a user who cannot write the program's folder: its
# settings live in the user's configuration folder, readable by that user
# alone, and nothing is written beside the program. Closed right after a drag
# of the bar, it saves where the docked playlist followed.

scenario installed_copy setpriv
scenario_installed_copy() {
    # The folders must be reachable for the user the copy runs as.
    chmod o+x "$WORK" "$SESSION"
    local prefix=$SESSION/prefix config=$SESSION/config x y
    mkdir -p "$prefix/bin" "$config"
    cp "$QUENDRA" "$prefix/bin/quendra"
    chmod 755 "$prefix" "$prefix/bin"
    chown 65534:65534 "$config"
    APP_DIR=$config/quendra
    # No settings file yet: web-control mode, which says that the browser module is not installed here.
    setpriv --reuid=65534 --regid=65534 --clear-groups \
        env HOME="$config" XDG_CONFIG_HOME="$config" QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 \
        "$prefix/bin/quendra" >"$SESSION/quendra.log" 2>&1 &
    QUENDRA_PID=$!
    track "$QUENDRA_PID"
    wait_for 15000 find_windows || { fail "the installed copy's windows did not appear"; return 1; }
    drag_bar 40 30
    read -r x y _ <<<"$(geometry "$BAR")"
    close_with_button || return
    [ -f "$APP_DIR/Quendra.ini" ] || { fail "no settings file in the configuration folder"; return 1; }
    [ "$(stat -c '%a %u' "$APP_DIR/Quendra.ini")" = "600 65534" ] ||
        fail "the settings file is $(stat -c '%a, owner %u' "$APP_DIR/Quendra.ini"), expected 600, owner 65534"
    [ ! -e "$prefix/bin/Quendra.ini" ] || fail "a settings file was written beside the installed program"
    expect_ini WINAMP X_STARTUP_POSITION $((x * 15))
    expect_ini WINAMP Y_STARTUP_POSITION $((y * 15))
    # Closed at once after the drag: the docked playlist's following it is saved too.
    expect_ini PLAYLIST X_STARTUP_POSITION $((x * 15))
    expect_ini PLAYLIST Y_STARTUP_POSITION $(((y + 133) * 15))
}

# An install tree of its own (cmake --install to a private prefix, as with
# --prefix ~/.local), run by a user who can write its bin folder: the copy
# is installed all the same, so its settings live in $XDG_CONFIG_HOME and
# nothing is written beside it. Direct mode shows the file there was read.
scenario installed_tree cmake
scenario_installed_tree() {
    local prefix=$SESSION/tree x y
    cmake --install "$(dirname "$QUENDRA")" --prefix "$prefix" >"$SESSION/install.log" 2>&1 ||
        { fail "cmake --install of the build failed"; return 1; }
    [ -w "$prefix/bin" ] || { fail "the test cannot write the tree's bin folder"; return 1; }
    start_sim || return
    APP_DIR=$SESSION/config/quendra
    mkdir -p "$APP_DIR"
    (umask 077
     printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=desk\r\n' "$SIM_PORT" \
         >"$APP_DIR/Quendra.ini")
    XDG_CONFIG_HOME=$SESSION/config QT_QPA_PLATFORM=xcb QT_SCALE_FACTOR=1 \
        "$prefix/bin/quendra" >"$SESSION/quendra.log" 2>&1 &
    QUENDRA_PID=$!
    track "$QUENDRA_PID"
    wait_for 15000 find_windows || { fail "the installed copy's windows did not appear"; return 1; }
    polled() { (($(requests 'isplaying?p=desk') > 0)); }
    wait_for 5000 polled || fail "the installed copy did not poll the simulator: its settings were not read"
    drag_bar 40 30
    read -r x y _ <<<"$(geometry "$BAR")"
    close_with_button || return
    [ ! -e "$prefix/bin/Quendra.ini" ] || fail "a settings file was written beside the installed program"
    expect_ini WINAMP X_STARTUP_POSITION $((x * 15))
    expect_ini WINAMP Y_STARTUP_POSITION $((y * 15))
}
