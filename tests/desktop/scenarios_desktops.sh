# Other desktops: a StatusNotifier tray host (GNOME's AppIndicator extension
# and KDE Plasma show the tray this way), xfwm4, the tiling i3, a Wayland
# session through XWayland, KDE Plasma, GNOME Shell, a stored place off the
# screen, a desktop wider than 16-bit twips, two screens of different
# scales, the pair minimised and restored where the window manager keeps
# minimised windows mapped, and a dark theme. Each desktop runs only what it
# adds.

# Where the bar's drag is also proved: a window manager's move.
on_desktops bar_drag_docked openbox icewm none xfwm4 i3 plasma gnome

# ---- a StatusNotifier host on a private bus

sni() { # sni OBJECT-PATH INTERFACE.METHOD ARGS...: a call on the tray item
    gdbus call --session --dest "$SNI_SERVICE" --object-path "$1" --method "$2" -- "${@:3}" 2>&1
}
sni_property() { sni /StatusNotifierItem org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierItem "$1"; }
watcher() {
    gdbus call --session --dest org.kde.StatusNotifierWatcher --object-path /StatusNotifierWatcher \
        --method org.freedesktop.DBus.Properties.Get org.kde.StatusNotifierWatcher "$1" 2>/dev/null
}
host_ready() { [[ $(watcher IsStatusNotifierHostRegistered) == *true* ]]; }
host_ready_or_gone() { host_ready || ! kill -0 "$host" 2>/dev/null; }
# The item as the watcher lists it: its bus name, and a path after it or not
# (GNOME's extension puts an @ between them).
item_registered() {
    local items
    items=$(watcher RegisteredStatusNotifierItems)
    [[ $items =~ \'([^\'/@]+)@?(/[^\']*)?\' ]] || return 1
    SNI_SERVICE=${BASH_REMATCH[1]}
}
# The menu's items in order, as "label" or "-" for a separator.
menu_items() {
    sni "$SNI_MENU" com.canonical.dbusmenu.GetLayout 0 -1 '[]' |
        grep -o "'label': <'[^']*'>\|'type': <'separator'>" |
        sed "s/'label': <'\(.*\)'>/\1/; s/'type': <'separator'>/-/"
}
# The id of the item with that label.
menu_id() {
    sni "$SNI_MENU" com.canonical.dbusmenu.GetLayout 0 -1 '[]' |
        grep -o "([0-9]*, {[^}]*'label': <'$1'>" | sed 's/^(\([0-9]*\),.*/\1/'
}
menu_click() { sni "$SNI_MENU" com.canonical.dbusmenu.Event "$(menu_id "$1")" clicked '<0>' 0 >/dev/null; }

# The item the StatusNotifier host shows, its tip and the menu it reads.
expect_sni_item() {
    wait_for 10000 item_registered || { fail "no StatusNotifier item: $(watcher RegisteredStatusNotifierItems)"; return 1; }
    [[ $(sni_property ToolTip) == *"ZadAda Doruziz"* ]] || fail "the item's tip: $(sni_property ToolTip)"
    SNI_MENU=$(sni_property Menu | sed -n "s/.*objectpath '\([^']*\)'.*/\1/p")
    measured "item $SNI_SERVICE, menu $SNI_MENU"
    if [ -z "$SNI_MENU" ] || [ "$SNI_MENU" = /NO_DBUSMENU ]; then
        fail "the item has no menu (Menu is '$SNI_MENU'): the host shows an empty popup"
        return 1
    fi
    local items
    items=$(menu_items | tr '\n' ' ')
    measured "the host's menu: $items"
    [ "$items" = "_Quendra - Playlist - _Settings - _Close " ] || { fail "the host's menu reads: $items"; return 1; }
}

scenario sni_tray_menu gtk-sni-tray-standalone gdbus dbus-daemon
on_desktops sni_tray_menu openbox
scenario_sni_tray_menu() {
    start_session_bus || return
    # The host, when the bus is slow to answer it at its start, can end at
    # once ("Pattern match failure"): it gets three tries.
    local try host
    for try in 1 2 3; do
        gtk-sni-tray-standalone --watcher --bottom >"$SESSION/sni-host.log" 2>&1 &
        host=$!
        track $host
        wait_for 10000 host_ready_or_gone
        host_ready && break
    done
    host_ready || { fail "the StatusNotifier host did not start: $(tail -n 3 "$SESSION/sni-host.log")"; return; }
    # The item goes to the StatusNotifier host, not to the XEmbed tray.
    TRAY_PID=""
    start_sim && start_quendra "$DOCKED" || return
    expect_sni_item || return

    # The left click (Activate) brings hidden windows back; Playlist switches it off.
    click_hide
    wait_for 5000 both_hidden || { fail "the hide button left $(geometry "$BAR")"; return; }
    sni /StatusNotifierItem org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
    wait_for 5000 both_shown || fail "Activate did not bring both windows back"
    menu_click Playlist
    wait_for 5000 unmapped "$PLAYLIST" || fail "the menu's Playlist left the playlist shown"
    expect_ini PLAYLIST VISIBLE 0
    menu_click _Close
    expect_exit && expect_file_positions 400 300 400 433
    measured "after the host's Close: $(file_positions), VISIBLE $(ini PLAYLIST VISIBLE)"
}

# ---- places and sizes

# A place stored on a second monitor (2184, 500 px) started on one screen of
# 1024 x 768: both windows open on it, the playlist docked below the bar.
scenario offscreen_start
on_desktops offscreen_start none openbox
scenario_offscreen_start() {
    start_sim && start_quendra '[WINAMP]
X_STARTUP_POSITION=32760
Y_STARTUP_POSITION=7500
[PLAYLIST]
X_STARTUP_POSITION=32760
Y_STARTUP_POSITION=9495' || return
    expect_geometry "bar stored at 2184,500" "$BAR" "749 500 275 133"
    expect_geometry "playlist docked below it" "$PLAYLIST" "749 633 275 133"
    measured "stored at 2184,500 on 1024x768: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    close_with_button && expect_file_positions 749 500 749 633
}

# A bar closed at x = 2900 px (43500 twips, beyond 16 bits) on a screen 3840
# px wide opens there again.
scenario wide_position
on_desktops wide_position none
scenario_wide_position() {
    TRAY_PID=""
    XVFB_SCREEN=3840x1080x24 start_display || { fail "no display of 3840 x 1080"; return; }
    local wide='[WINAMP]
X_STARTUP_POSITION=43500
Y_STARTUP_POSITION=7500
[PLAYLIST]
X_STARTUP_POSITION=43500
Y_STARTUP_POSITION=9495'
    start_sim && start_quendra "$wide" || return
    expect_geometry "bar stored at 2900,500" "$BAR" "2900 500 275 133"
    close_with_button || return
    expect_file_positions 2900 500 2900 633
    start_quendra "$(printf '[WINAMP]\nX_STARTUP_POSITION=%s\nY_STARTUP_POSITION=%s\n[PLAYLIST]\nX_STARTUP_POSITION=%s\nY_STARTUP_POSITION=%s' \
        "$(ini WINAMP X_STARTUP_POSITION)" "$(ini WINAMP Y_STARTUP_POSITION)" \
        "$(ini PLAYLIST X_STARTUP_POSITION)" "$(ini PLAYLIST Y_STARTUP_POSITION)")" || return
    expect_geometry "bar at the next start" "$BAR" "2900 500 275 133"
    measured "on 3840x1080, closed at 2900,500: file X=$(ini WINAMP X_STARTUP_POSITION), next start $(geometry "$BAR")"
    close_with_button
}

# A click on the title strip (press and release at once, as a touchpad tap)
# stays a click: the next Play reaches the player and × closes.
scenario strip_click_play
on_desktops strip_click_play openbox xfwm4 i3
scenario_strip_click_play() {
    start_docked || return
    click 1 $(point "$BAR" 100 7)
    click 1 $(point "$BAR" 46 104)
    wait_for 5000 test "$(requests '^GET /play?p=desk ')" -eq 1 ||
        fail "Play after a click on the strip sent $(requests '^GET /play?p=desk ') requests"
    expect_geometry "bar after the clicks" "$BAR" "400 300 275 133"
    measured "after a strip click and Play: /play requests $(requests '^GET /play?p=desk '), bar $(geometry "$BAR")"
    click 1 $(point "$BAR" 100 7)
    close_with_button && expect_file_positions 400 300 400 433
}

# i3 floats both windows at the program's sizes; a click on the playlist's
# grip stores no size the window manager chose.
scenario tiling_sizes
on_desktops tiling_sizes i3
scenario_tiling_sizes() {
    start_docked || return
    measured "under $DESKTOP: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    click 1 $(point "$PLAYLIST" 200 126)
    expect_geometry "playlist after a click on its grip" "$PLAYLIST" "400 433 275 133"
    expect_ini PLAYLIST HEIGHT 1995
    close_with_button && expect_file_positions 400 300 400 433 && expect_ini PLAYLIST HEIGHT 1995
}

# Two screens side by side, the right one at twice the scale: Xvfb's screen
# split in two RandR monitors, which Qt takes for two screens. Each window
# takes the scale of the screen it is moved to at once, and the docked
# playlist stays right under the bar.
scenario two_scales xrandr convert compare
on_desktops two_scales openbox
scenario_two_scales() {
    TRAY_PID=""
    XVFB_SCREEN=2048x768x24 start_display || { fail "no display of 2048 x 768"; return; }
    xrandr --setmonitor LEFT 1024/271x768/203+0+0 screen >/dev/null &&
        xrandr --setmonitor RIGHT 1024/271x768/203+1024+0 none >/dev/null || { fail "no monitors: $(xrandr --listmonitors)"; return; }
    start_wm openbox || { fail "openbox did not start on the display of two monitors"; return; }
    export QT_SCREEN_SCALE_FACTORS="LEFT=1;RIGHT=2"
    start_docked || return
    sleep 0.5
    import -window "$BAR" "$SESSION/bar-1x.png" 2>/dev/null
    drag_bar 900 0
    expect_geometry "bar on the screen at 2x" "$BAR" "1300 300 550 266"
    expect_geometry "docked playlist under it" "$PLAYLIST" "1300 566 550 266"
    pair_drawn_whole "on the screen at 2x"
    shot 2x
    drag_bar -900 0
    expect_geometry "bar back at 1x" "$BAR" "400 300 275 133"
    expect_geometry "docked playlist back under it" "$PLAYLIST" "400 433 275 133"
    pair_drawn_whole "back at 1x"
    shot 1x
    close_with_button && expect_file_positions 400 300 400 433
}

# The bar and the playlist as the screen shows them: the bar's picture whole
# (its grab, brought to its size at 1x, looks like its picture at 1x: not
# cut, nothing over it), and no row of the black desktop between the two.
pair_drawn_whole() { # WHERE
    local differing black bx by py ph
    import -window "$BAR" "$SESSION/bar-now.png" 2>/dev/null
    convert "$SESSION/bar-now.png" -resize '275x133!' "$SESSION/bar-as-1x.png"
    differing=$(compare -metric AE -fuzz 25% "$SESSION/bar-as-1x.png" "$SESSION/bar-1x.png" null: 2>&1)
    import -window root "$SESSION/screen.png" 2>/dev/null
    read -r bx by _ <<<"$(geometry "$BAR")"
    read -r _ py _ ph _ <<<"$(geometry "$PLAYLIST")"
    black=$(convert "$SESSION/screen.png" -crop "1x$((py + ph - by))+$((bx + 20))+$by" +repage txt:- | grep -c '#000000')
    measured "$1: $differing pixels of the bar's 275 x 133 differ from its picture at 1x; $black black rows from the bar's top to the playlist's bottom"
    [[ $differing =~ ^[0-9]+$ ]] && ((differing < 1500)) || fail "$1 the bar is not drawn whole: $differing pixels differ"
    ((black <= 4)) || fail "$1 $black rows of the desktop show between the bar and the playlist"
}

# ---- a Wayland session

# weston with Xwayland: the program picks XWayland by itself, starts, draws
# and answers a click.
scenario wayland_session import identify
on_desktops wayland_session weston
scenario_wayland_session() {
    start_sim && start_quendra "$DOCKED" || return
    local colours
    wait_for 5000 mapped "$BAR" || { fail "the bar is not shown"; return; }
    import -window "$BAR" "$SESSION/bar.png" 2>/dev/null
    colours=$(identify -format %k "$SESSION/bar.png" 2>/dev/null)
    ((${colours:-0} > 100)) || fail "the bar shows ${colours:-no} colours"
    click 1 $(point "$BAR" 46 104)
    wait_for 5000 test "$(requests '^GET /play?p=desk ')" -eq 1 ||
        fail "a click on Play sent $(requests '^GET /play?p=desk ') requests"
    measured "under weston/Xwayland: bar $(geometry "$BAR"), $colours colours, /play requests $(requests '^GET /play?p=desk ')"
    shot bar
    close_with_button
}

# ---- KDE Plasma and GNOME Shell

# Every window carries the program's icon, and the desktop entry's name, by
# which task managers find the entry and its icon.
expect_window_identity() { # WHAT WINDOW
    local icon entry
    icon=$(xprop -id "$2" _NET_WM_ICON 2>/dev/null | head -n 1)
    [[ $icon == "_NET_WM_ICON(CARDINAL) = "* ]] || fail "$1 has no icon of its own: ${icon:0:80}"
    entry=$(xprop -id "$2" _KDE_NET_WM_DESKTOP_FILE _GTK_APPLICATION_ID 2>/dev/null | tr '\n' ' ')
    [[ $entry == *'_KDE_NET_WM_DESKTOP_FILE(UTF8_STRING) = "org.quendra.Quendra"'* ]] ||
        fail "$1 does not name the desktop entry: $entry"
}

# Plasma: the windows at their stored places, undecorated, with the icon;
# the item and its menu in Plasma's tray; KWin's own move (Meta and a drag,
# as a user moves any window) with the playlist following; the file after.
scenario plasma_desktop
on_desktops plasma_desktop plasma
scenario_plasma_desktop() {
    start_docked || return
    expect_window_identity "the bar" "$BAR"
    expect_window_identity "the playlist" "$PLAYLIST"
    expect_sni_item
    shot placed
    xdotool keydown super
    drag 1 $(point "$BAR" 150 60) -150 -100
    xdotool keyup super
    expect_geometry "bar after KWin's move" "$BAR" "250 200 275 133"
    expect_geometry "docked playlist after KWin's move" "$PLAYLIST" "250 333 275 133"
    measured "after Meta and a drag by (-150,-100) on the face: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    shot moved
    menu_click _Close
    expect_exit && expect_file_positions 250 200 250 333
}

# GNOME Shell: the windows at their stored places, with the icon; the item
# and its menu through the AppIndicator extension, whose Activate brings
# hidden windows back.
scenario gnome_desktop
on_desktops gnome_desktop gnome
scenario_gnome_desktop() {
    start_docked || return
    expect_window_identity "the bar" "$BAR"
    expect_window_identity "the playlist" "$PLAYLIST"
    expect_sni_item || return
    shot placed
    click_hide
    wait_for 5000 both_hidden || { fail "the hide button left $(geometry "$BAR")"; return; }
    sni /StatusNotifierItem org.kde.StatusNotifierItem.Activate 0 0 >/dev/null
    wait_for 5000 both_shown || fail "Activate did not bring both windows back"
    expect_geometry "bar back" "$BAR" "400 300 275 133"
    expect_geometry "playlist back" "$PLAYLIST" "400 433 275 133"
    menu_click _Close
    expect_exit && expect_file_positions 400 300 400 433
}

# GNOME Shell keeps minimised X11 windows mapped: minimised is what the
# window manager says in WM_STATE.
minimised() { [[ $(xprop -id "$1" WM_STATE 2>/dev/null) == *"window state: Iconic"* ]]; }
restored() { [[ $(xprop -id "$1" WM_STATE 2>/dev/null) == *"window state: Normal"* ]]; }
both_minimised() { minimised "$BAR" && minimised "$PLAYLIST"; }
both_restored() { restored "$BAR" && restored "$PLAYLIST"; }

# The docked pair is minimised and restored as one, whichever window the
# user minimises and restores (the shell's activation, as Alt+Tab or the
# overview does it).
scenario pair_restore
on_desktops pair_restore gnome fluxbox
scenario_pair_restore() {
    start_docked || return
    local first second
    for first in "$BAR" "$PLAYLIST"; do
        second=$PLAYLIST
        [ "$first" = "$PLAYLIST" ] && second=$BAR
        xdotool windowminimize "$first"
        wait_for 5000 both_minimised || { fail "minimising $(window_name "$first") left $(window_name "$second") shown"; return; }
        xdotool windowactivate "$first" 2>/dev/null
        wait_for 5000 both_restored ||
            fail "restoring $(window_name "$first") left $(window_name "$second") $(window_state "$second")"
        measured "minimised and restored $(window_name "$first"): $(window_name "$second") $(window_state "$second")"
        shot "restored-$(window_name "$first")"
        # Left minimised, the other window comes back for the next round.
        restored "$second" || { xdotool windowactivate "$second" 2>/dev/null && wait_for 5000 both_restored; }
    done
    expect_geometry "bar after both" "$BAR" "400 300 275 133"
    expect_geometry "playlist after both" "$PLAYLIST" "400 433 275 133"
    close_with_button && expect_file_positions 400 300 400 433
}
window_name() { if [ "$1" = "$BAR" ]; then echo bar; else echo playlist; fi; }
window_state() { xprop -id "$1" WM_STATE 2>/dev/null | sed -n 's/.*window state: //p'; }

# A first start (no settings file) under a panel at the top, GNOME Shell's
# or another: the window manager pushes the bar below it, and the playlist
# goes along, docked.
scenario gnome_first_start
on_desktops gnome_first_start gnome
scenario_gnome_first_start() {
    start_sim && start_quendra "" || return
    expect_geometry "bar below the shell's panel" "$BAR" "0 32 275 133"
    expect_geometry "playlist docked below the bar" "$PLAYLIST" "0 165 275 133"
    measured "first start under GNOME Shell's panel: bar $(geometry "$BAR"), playlist $(geometry "$PLAYLIST")"
    shot first-start
    close_with_button && expect_file_positions 0 32 0 165
}

# ---- a dark theme

# The settings dialog's look is its picture: under GNOME's dark style (the
# GTK theme that Qt's GTK platform theme follows) it looks as under the
# light one, pixel for pixel but for a few of anti-aliasing.
GTK3_THEME_PLUGIN=/usr/lib/x86_64-linux-gnu/qt6/plugins/platformthemes/libqgtk3.so
scenario dark_theme_dialog compare "$GTK3_THEME_PLUGIN"
on_desktops dark_theme_dialog openbox
scenario_dark_theme_dialog() {
    start_sim || return
    dialog_picture Adwaita light && dialog_picture Adwaita:dark dark || return
    local differing
    differing=$(compare -metric AE -fuzz 10% "$SESSION/light.png" "$SESSION/dark.png" "$SESSION/difference.png" 2>&1)
    measured "the dialog under Adwaita:dark against Adwaita: $differing pixels differ"
    [[ $differing =~ ^[0-9]+$ ]] && ((differing <= 40)) ||
        fail "under the dark theme $differing pixels of the dialog differ (see $SESSION/difference.png)"
}

dialog_picture() { # GTK_THEME NAME
    # At the top left corner: the dialog opens in the middle of the screen.
    XDG_CURRENT_DESKTOP=GNOME GTK_THEME=$1 start_quendra "" || return 1
    click 1 $(point "$BAR" 7 7)
    local dialog
    wait_for 5000 eval 'dialog=$(window_named Settings)' || { fail "no settings dialog under $1"; return 1; }
    sleep 0.3
    expect_window_identity "the dialog" "$dialog"
    import -window "$dialog" "$SESSION/$2.png" || { fail "no picture of the dialog under $1"; return 1; }
    shot "$2"
    close_with_button
}
