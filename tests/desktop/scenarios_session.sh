# Ending the program from outside its windows: at logout the session sends
# SIGTERM, a terminal SIGINT or SIGHUP. It closes as its Close does.

scenario sigterm_after_drag
scenario_sigterm_after_drag() {
    start_docked || return
    drag_bar 60 40
    expect_geometry "bar after the drag" "$BAR" "460 340 275 133" || return
    kill -TERM "$QUENDRA_PID"
    expect_exit || return
    local status=0
    wait "$QUENDRA_PID" || status=$?
    [ "$status" -eq 0 ] || fail "exit status $status after SIGTERM"
    measured "after SIGTERM: exit status $status, file: $(file_positions)"
    expect_file_positions 460 340 460 473
}

# Started as `nohup quendra &`, the closed terminal's SIGHUP leaves it
# running. Started again on the same settings file, it brings the running
# copy's hidden windows back and ends at once. Without a display it says so
# in one line and ends with status 1.
scenario one_copy_per_settings_file
on_desktops one_copy_per_settings_file openbox
scenario_one_copy_per_settings_file() {
    start_sim || return
    QUENDRA_WRAPPER=nohup start_quendra "$DOCKED" || return
    kill -HUP "$QUENDRA_PID"
    holds 1000 running "$QUENDRA_PID" || { fail "SIGHUP ended a copy started under nohup"; return; }
    click_hide
    wait_for 5000 both_hidden || { fail "the hide button left the windows shown"; return; }

    local status=0 started
    started=$(now_ms)
    timeout 10 env QT_QPA_PLATFORM=xcb "$APP_DIR/quendra" >"$SESSION/second.log" 2>&1 || status=$?
    measured "second start: status $status after $(($(now_ms) - started)) ms"
    [ "$status" -eq 0 ] || fail "the second start ended with status $status: $(cat "$SESSION/second.log")"
    wait_for 5000 both_shown || fail "the second start did not bring the windows back"
    local bars
    bars=$(xdotool search --all --onlyvisible --name '^Quendra$' 2>/dev/null | wc -l)
    [ "$bars" -eq 1 ] || fail "$bars bars on the screen after a second start"

    # Another settings file is another copy: here one that finds no display.
    mkdir -p "$SESSION/other"
    cp "$APP_DIR/quendra" "$SESSION/other/quendra"
    status=0
    env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb "$SESSION/other/quendra" \
        >"$SESSION/nodisplay.out" 2>"$SESSION/nodisplay.err" || status=$?
    measured "without a display: status $status, said: $(cat "$SESSION/nodisplay.err")"
    [ "$status" -eq 1 ] || fail "without a display the status was $status"
    [ "$(wc -l <"$SESSION/nodisplay.err")" -eq 1 ] && grep -q 'no display' "$SESSION/nodisplay.err" ||
        fail "without a display it said: $(cat "$SESSION/nodisplay.err")"
    close_with_button
}
