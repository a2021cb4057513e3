# Moving, docking and sizing the windows, the hide button and the tray icon,
# as a user does them with the pointer. Positions are screen pixels; the
# settings file holds twips (15 to a pixel).

# The bar at (400, 300) with the playlist docked below it, both 133 px high.
DOCKED='[WINAMP]
X_STARTUP_POSITION=6000
Y_STARTUP_POSITION=4500
[PLAYLIST]
X_STARTUP_POSITION=6000
Y_STARTUP_POSITION=6495'

start_docked() {
    start_sim && start_quendra "$DOCKED" || return 1
    expect_geometry "bar at start" "$BAR" "400 300 275 133" &&
        expect_geometry "playlist at start" "$PLAYLIST" "400 433 275 133"
}

# Drags by the title strips, away from their buttons.
drag_bar() { drag "${3:-1}" $(point "$BAR" 100 7) "$1" "$2"; }
drag_playlist() { drag 1 $(point "$PLAYLIST" 100 7) "$1" "$2"; }

# The × of the bar's strip, then the positions the file kept.
close_with_button() {
    click 1 $(point "$BAR" 269 7)
    expect_exit || return 1
    measured "file after closing: $(file_positions), playlist HEIGHT $(ini PLAYLIST HEIGHT)"
}

expect_file_positions() { # bar x y, playlist x y, in pixels
    expect_ini WINAMP X_STARTUP_POSITION $(($1 * 15))
    expect_ini WINAMP Y_STARTUP_POSITION $(($2 * 15))
    expect_ini PLAYLIST X_STARTUP_POSITION $(($3 * 15))
    expect_ini PLAYLIST Y_STARTUP_POSITION $(($4 * 15))
}

scenario bar_drag_docked
scenario_bar_drag_docked() {
    start_docked || return
    drag_bar -100 -100
    expect_geometry "bar after the drag" "$BAR" "300 200 275 133"
    expect_geometry "docked playlist after the same drag" "$PLAYLIST" "300 333 275 133"
    measured "after a drag by (-100,-100): bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    drag_bar 10 0
    expect_geometry "bar after a second drag" "$BAR" "310 200 275 133"
    expect_geometry "docked playlist after the second drag" "$PLAYLIST" "310 333 275 133"
    close_with_button && expect_file_positions 310 200 310 333
}

# The attach point is the bar's left and its top plus its height; the
# docking distance is 750 twips, 50 px: 49 px off snaps, 50 px does not.
scenario docking_distance
scenario_docking_distance() {
    start_sim && start_quendra '[WINAMP]
X_STARTUP_POSITION=1500
Y_STARTUP_POSITION=1500
[PLAYLIST]
X_STARTUP_POSITION=7500
Y_STARTUP_POSITION=7500' || return
    expect_geometry "free playlist at start" "$PLAYLIST" "500 500 275 133" || return
    drag_playlist $((149 - 500)) $((282 - 500))
    expect_geometry "playlist dropped 49 px off" "$PLAYLIST" "100 233 275 133"
    measured "playlist dropped at (149,282), 49 px off the attach point (100,233): $(geometry "$PLAYLIST")"
    drag_playlist 50 0
    expect_geometry "playlist dropped 50 px off" "$PLAYLIST" "150 233 275 133"
    measured "playlist dropped 50 px off: $(geometry "$PLAYLIST")"
    # Free now: the bar's move leaves it behind, unless the bar ends near it.
    drag_bar 300 0
    expect_geometry "bar moved away" "$BAR" "400 100 275 133"
    expect_geometry "free playlist, left behind" "$PLAYLIST" "150 233 275 133"
    drag_bar -251 0
    expect_geometry "bar back" "$BAR" "149 100 275 133"
    expect_geometry "playlist snapped to the bar" "$PLAYLIST" "149 233 275 133"
    measured "bar dropped with its attach point 1 px off the free playlist: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    close_with_button && expect_file_positions 149 100 149 233
}

# The bottom strip sizes the playlist; two strips are 1000 twips (66.7 px):
# anything shorter collapses to one strip, 495 twips (33 px).
scenario playlist_resize
scenario_playlist_resize() {
    start_docked || return
    drag 1 $(point "$PLAYLIST" 200 126) 0 93 0.6
    expect_geometry "playlist after a resize with a pause" "$PLAYLIST" "400 433 275 226"
    expect_ini PLAYLIST HEIGHT 3390
    measured "after a resize by +93 px with a 0.6 s pause: playlist $(geometry "$PLAYLIST"), HEIGHT $(ini PLAYLIST HEIGHT)"
    shot resized
    drag 1 $(point "$PLAYLIST" 200 219) 0 -159
    expect_geometry "playlist at 67 px, just over two strips" "$PLAYLIST" "400 433 275 67"
    expect_ini PLAYLIST HEIGHT 1005
    drag 1 $(point "$PLAYLIST" 200 60) 0 -27
    expect_geometry "playlist collapsed to one strip" "$PLAYLIST" "400 433 275 33"
    expect_ini PLAYLIST HEIGHT 495
    measured "after a shrink to 40 px: playlist $(geometry "$PLAYLIST"), HEIGHT $(ini PLAYLIST HEIGHT)"
    shot collapsed
    # Still docked: the bar takes it along, its height unchanged.
    drag_bar 20 20
    expect_geometry "collapsed playlist after a bar drag" "$PLAYLIST" "420 453 275 33"
    close_with_button && expect_file_positions 420 320 420 453 && expect_ini PLAYLIST HEIGHT 495
}

# Any button drags the bar; only the left one is the window manager's
# gesture, so the next left click still reaches the face.
scenario other_buttons_drag
scenario_other_buttons_drag() {
    start_docked || return
    drag_bar 50 40 3
    expect_geometry "bar after a right-button drag" "$BAR" "450 340 275 133"
    expect_geometry "playlist after a right-button drag" "$PLAYLIST" "450 473 275 133"
    click 1 $(point "$BAR" 46 104)
    wait_for 5000 test "$(requests '^GET /play?p=desk ')" -eq 1 ||
        fail "a left click on Play after a right-button drag sent $(requests '^GET /play?p=desk ') requests"
    drag_bar -20 -20 2
    expect_geometry "bar after a middle-button drag" "$BAR" "430 320 275 133"
    expect_geometry "playlist after a middle-button drag" "$PLAYLIST" "430 453 275 133"
    click 1 $(point "$BAR" 46 104)
    wait_for 5000 test "$(requests '^GET /play?p=desk ')" -eq 2 ||
        fail "a left click on Play after a middle-button drag: $(requests '^GET /play?p=desk ') requests in all"
    measured "after both drags: bar $(geometry "$BAR"), /play requests $(requests '^GET /play?p=desk ')"
    close_with_button && expect_file_positions 430 320 430 453
}

# Moves by the window manager, here asked for by another program (as a move
# from the window menu by keyboard, or a panel's push, come from it too):
# the docked playlist follows the bar and undocks or docks when it is moved
# itself, and minimising or restoring the bar does the same to the playlist.
# Closed right after the bar's move, the file holds the pair docked.
scenario wm_move_close
on_desktops wm_move_close openbox plasma
scenario_wm_move_close() {
    start_docked || return
    xdotool windowminimize "$BAR"
    wait_for 5000 both_hidden || fail "minimising the bar left the playlist $(geometry "$PLAYLIST")"
    xdotool windowactivate "$BAR" 2>/dev/null
    wait_for 5000 both_shown || fail "restoring the bar left the playlist $(geometry "$PLAYLIST")"

    xdotool windowmove "$PLAYLIST" 600 450
    expect_geometry "playlist moved away by the window manager" "$PLAYLIST" "600 450 275 133"
    xdotool windowmove "$BAR" 100 100
    expect_geometry "bar moved by the window manager" "$BAR" "100 100 275 133"
    holds 1000 geometry_is "$PLAYLIST" "600 450 275 133" ||
        fail "the playlist undocked by the window manager's move followed the bar to $(geometry "$PLAYLIST")"
    xdotool windowmove "$PLAYLIST" 130 260
    expect_geometry "playlist moved near the bar, snapped" "$PLAYLIST" "100 233 275 133"

    xdotool windowmove "$BAR" 150 120
    expect_geometry "bar moved by the window manager" "$BAR" "150 120 275 133"
    expect_geometry "docked playlist after the window manager's move" "$PLAYLIST" "150 253 275 133"
    measured "after xdotool windowmove of the bar to 150,120: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    # Closed as soon as the bar is there, before the playlist would follow.
    xdotool windowmove "$BAR" 200 150
    wait_for 5000 geometry_is "$BAR" "200 150 275 133" || { fail "the bar did not move to 200,150"; return; }
    close_with_button && expect_file_positions 200 150 200 283
}

# A panel along the top at a first start (no settings file): the window
# manager puts the bar below it, and the playlist goes along, docked.
scenario panel_first_start
on_desktops panel_first_start openbox
scenario_panel_first_start() {
    stop_tray
    trayer --edge top --align left --widthtype percent --width 100 --height 24 --SetDockType true \
        --SetPartialStrut true --transparent false >"$SESSION/trayer.log" 2>&1 &
    TRAY_PID=$!
    track "$TRAY_PID"
    wait_for 10000 tray_ready || { fail "the panel did not start"; return; }
    start_sim && start_quendra "" || return
    expect_geometry "bar below the panel" "$BAR" "0 24 275 133"
    expect_geometry "playlist docked below the bar" "$PLAYLIST" "0 157 275 133"
    measured "first start under a 24 px panel: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    close_with_button && expect_file_positions 0 24 0 157
}

both_hidden() { unmapped "$BAR" && unmapped "$PLAYLIST"; }
both_shown() { mapped "$BAR" && mapped "$PLAYLIST"; }
click_hide() { click 1 $(point "$BAR" 258 7); }
click_icon() {
    read -r x y w h _ <<<"$(geometry "$ICON")"
    click "$1" $((x + w / 2)) $((y + h / 2))
}

# hide_and_show_from_tray X Y: the hide button hides the docked pair, a left
# click on the tray icon shows it again with the bar at X,Y and the playlist
# under it.
hide_and_show_from_tray() {
    click_hide
    wait_for 5000 both_hidden || { fail "the hide button left $(geometry "$BAR") / $(geometry "$PLAYLIST")"; return 1; }
    click_icon 1
    wait_for 5000 both_shown || { fail "a left click on the tray icon did not bring both windows back"; return 1; }
    expect_geometry "bar back from the tray" "$BAR" "$1 $2 275 133"
    expect_geometry "playlist back from the tray" "$PLAYLIST" "$1 $(($2 + 133)) 275 133"
    # A place missed is a failure told; the scenario goes on.
    return 0
}

# The hide button needs a tray host to come back through; without one it
# does nothing, and windows hidden when the host goes away come back.
scenario hide_and_tray
scenario_hide_and_tray() {
    start_docked || return
    hide_and_show_from_tray 400 300 || return

    stop_tray
    click_hide
    holds 1000 both_shown || fail "without a tray host the hide button hid the windows"

    start_tray && wait_for 10000 find_icon || { fail "the icon did not dock in the new tray host"; return; }
    click_hide
    wait_for 5000 both_hidden || { fail "the hide button did nothing with a tray host back"; return; }
    stop_tray
    wait_for 5000 both_shown || fail "the windows stayed hidden when the tray host went away"
    measured "after the tray host went away: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    close_with_button && expect_file_positions 400 300 400 433
}

# Dragged to the top edge, hidden and shown again by the tray icon, the bar
# comes back where it was: fluxbox places a window mapped again near the top
# edge as a new one, in the top left corner. The file keeps the bar's place.
scenario hidden_place
on_desktops hidden_place openbox fluxbox
scenario_hidden_place() {
    start_docked || return
    drag_bar 0 -300
    expect_geometry "bar dragged to the top edge" "$BAR" "400 0 275 133" || return
    expect_geometry "docked playlist below it" "$PLAYLIST" "400 133 275 133"
    hide_and_show_from_tray 400 0 || return
    measured "hidden at the top edge and shown again: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    shot shown
    close_with_button && expect_file_positions 400 0 400 133
}

# The program's popup menu: its visible window that is none of the others.
find_menu() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$QUENDRA_PID" 2>/dev/null); do
        [ "$w" = "$BAR" ] || [ "$w" = "$PLAYLIST" ] || [ "$w" = "$ICON" ] && continue
        read -r _ _ width height _ <<<"$(geometry "$w")"
        ((${width:-0} > 50 && ${height:-0} > 50)) && MENU=$w && return 0
    done
    return 1
}

scenario tray_menu_close
scenario_tray_menu_close() {
    start_docked || return
    drag_bar 30 30
    expect_geometry "bar after the drag" "$BAR" "430 330 275 133" || return
    click_icon 3
    wait_for 5000 find_menu || { fail "no menu on a right click on the tray icon"; return; }
    shot menu
    # "&Close" is the last item.
    read -r x y w h _ <<<"$(geometry "$MENU")"
    click 1 $((x + w / 2)) $((y + h - 12))
    expect_exit && expect_file_positions 430 330 430 463
    measured "after the menu's Close: $(file_positions)"
}
