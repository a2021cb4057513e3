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
