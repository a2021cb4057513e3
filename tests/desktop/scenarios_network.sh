# The player on another computer: every answer crosses a slow, lossy network
# (slow_relay.py holds each chunk 0.2 to 2.5 s and cuts a few connections),
# then the player hangs for 20 s and sleeps for 60 s. Presses from the face,
# the playlist and the media controls must reach it whole and in order, none
# late, and shuffle must end as it was.

# The simulator with its standard input on a pipe ($SIM_CONTROL), every
# request line stamped with the time it came.
start_far_sim() {
    SIM_LOG=$SESSION/sim.log
    mkfifo "$SESSION/sim.in"
    exec {SIM_CONTROL}<>"$SESSION/sim.in"
    "$HTTPQ_SIM" --port 0 --password desk --titles 30 --verbose --timestamps <"$SESSION/sim.in" >"$SIM_LOG" 2>&1 &
    SIM_PID=$!
    track "$SIM_PID"
    wait_for 5000 grep -qs '^listening on' "$SIM_LOG" || { fail "the simulator did not start"; return 1; }
    SIM_PORT=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$SIM_LOG")
    /usr/bin/python3 "$here/slow_relay.py" "$SIM_PORT" --cut 0.03 >"$SESSION/relay.log" 2>&1 &
    RELAY_PID=$!
    track "$RELAY_PID"
    wait_for 10000 grep -qs '^listening on' "$SESSION/relay.log" || { fail "the relay did not start"; return 1; }
    RELAY_PORT=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$SESSION/relay.log")
}

sim_command() { echo "$1" >&"$SIM_CONTROL"; }

# The player asked directly, not through the relay.
sim_get() {
    local reply
    exec {conn}<>"/dev/tcp/127.0.0.1/$SIM_PORT" || return 1
    printf 'GET %s HTTP/1.0\r\n\r\n' "$1" >&"$conn"
    reply=$(cat <&"$conn")
    exec {conn}>&-
    echo "${reply##*$'\r\n\r\n'}"
}

# The single presses made (face and media keys), as "time command".
PRESSES=()
pressed() { PRESSES+=("$(now_ms) $1"); }

# Milliseconds of the wall clock when the simulator last got a request.
last_request_at() { sed -n 's/^\([0-9]\{13\}\) GET .*/\1/p' "$SIM_LOG" | tail -n 1; }
# The press commands the player got, in order, as "time command".
press_lines() {
    sed -n 's/^\([0-9]\{13\}\) GET \/\(play\|next\|pause\|stop\|shuffle\|setplaylistpos\|jumptotime\)?p=desk\([^ ]*\) .*/\1 \2\3/p' "$SIM_LOG"
}
sent_after() { # COMMAND MS: the time COMMAND first reached the player from MS on
    press_lines | awk -v command="$1" -v after="$2" '$2 == command && $1 >= after { print $1; exit }'
}
arrived_after() { [ -n "$(sent_after "$1" "$2")" ]; }
# A double-click on the playlist's row ROW (the list starts 66 px down, a row 13 px).
double_click_row() { xdotool mousemove -- $(point "$PLAYLIST" 60 $((66 + 13 * $1 + 6))) click --repeat 2 --delay 80 1; }

# Across this network answers take 0.4 to 5 s, more than the 3 s of silence
# that make the player gone: now and then it is shown gone, and a press made
# then is dropped, as it should be. press_until presses until one gets
# through: press_until COMMAND LIMIT-MS ACTION...; false if none did.
press_until() {
    local command=$1 limit=$(($(now_ms) + $2)) from=$(now_ms)
    shift 2
    while (($(now_ms) < limit)); do
        "$@"
        [ "$command" = 'shuffle&a=0' ] || pressed "$command"
        wait_for 2000 arrived_after "$command" "$from" && return 0
    done
    # The last press may still be on its way.
    wait_for 8000 arrived_after "$command" "$from"
}
face_play() { click 1 $(point "$BAR" 46 104); }
face_next() { click 1 $(point "$BAR" 127 104); }

scenario slow_network python3 mkfifo playerctl dbus-daemon
on_desktops slow_network openbox
scenario_slow_network() {
    start_session_bus && start_far_sim || return
    sim_get '/shuffle?p=desk&a=1' >/dev/null
    # The first [HTTPQ] section is the one read: the relay's port.
    start_quendra "[HTTPQ]
QUENDRA_TYPE=DIRECT
HTTPQ_SERVER=127.0.0.1
HTTPQ_PORT=$RELAY_PORT
HTTPQ_PASSWD=desk
[PLAYLIST]
VISIBLE=1
HEIGHT=4500" || return
    wait_for 20000 grep -qs 'GET /getplaylisttitle' "$SIM_LOG" || { fail "no poll came through the relay"; return 1; }
    wait_for 10000 on_bus || { fail "quendra is not on the bus"; return 1; }
    sleep 5
    local started=$(now_ms)

    # Face presses, a double-click in the list with shuffle on, media keys,
    # while a few connections are cut.
    press_until play 30000 face_play || fail "no Play got through"
    press_until 'shuffle&a=0' 60000 double_click_row 4 || fail "no double-click got through"
    press_until next 30000 media next || fail "no media Next got through"
    sleep 5

    # A hang of 20 s: the presses made once the player is shown gone are
    # dropped, never sent when it answers again. From here on no connection
    # is cut, so that each press measured reaches the player.
    kill -USR1 "$RELAY_PID"
    local hang_start hang_end gone_from first
    hang_start=$(now_ms)
    sim_command "hang 20"
    sleep 10
    gone_from=$(now_ms)
    face_next
    media play-pause
    hang_end=$((hang_start + 20000))
    while (($(now_ms) < hang_end)); do sleep 0.5; done
    press_until play 20000 face_play || fail "no Play got through after the hang"
    first=$(sent_after play "$hang_end")
    measured "hang: the first Play after it reached the player $((${first:-hang_end} - hang_end)) ms after it ended"
    check_none_between "$gone_from" "$hang_end" "the hang"
    sleep 4

    # A double-click with shuffle on, and the player's computer falls asleep
    # for 60 s as soon as shuffle went off: whatever of it got through,
    # shuffle ends on, the song it was at put back before anything else.
    local sleep_start wake
    press_until 'shuffle&a=0' 60000 double_click_row 6 || fail "no double-click got through before the sleep"
    sim_command "sleep 60"
    sleep_start=$(now_ms)
    shot asleep
    sleep 10
    gone_from=$(now_ms)
    face_play
    wake=$((sleep_start + 60000))
    while (($(now_ms) < wake)); do sleep 0.5; done
    press_until next 30000 face_next || fail "no Next got through after the sleep"
    first=$(sent_after next "$wake")
    measured "sleep: the first Next after it reached the player $((${first:-wake} - wake)) ms after it woke"
    check_none_between "$gone_from" "$wake" "the sleep"
    sleep 8

    check_presses
    [ "$(sim_get '/shuffle_status?p=desk')" = 1 ] || fail "shuffle ended off"
    measured "the player's press requests in $((($(now_ms) - started) / 1000)) s: $(press_lines | awk '{ printf "%s ", $2 }')"
    click 1 $(point "$BAR" 269 7)
    expect_exit
}

# No face or media press reached the player between MS and MS: those made
# while it was shown gone.
check_none_between() {
    local count
    count=$(press_lines | awk -v from="$1" -v to="$2" '$1 >= from && $1 < to && $2 ~ /^(play|next|pause|stop)$/' | wc -l)
    ((count == 0)) || fail "$count presses made while the player was gone reached it during $3"
}

# Every shuffle switched off is switched on again before any other press
# (the same step twice in a row is one step sent again after its connection
# was cut); each single press that reached the player was made less than its 5 s and
# the relay's 2.5 s before.
check_presses() {
    local lines at command late=0
    lines=$(press_lines)
    echo "$lines" >"$SESSION/presses.log"
    echo "$lines" | awk '
        $2 == "shuffle&a=0" { if (off && last != $2) bad = 1; off = 1; last = $2; next }
        $2 == "shuffle&a=1" { off = 0; last = $2; next }
        off && $2 !~ /^(setplaylistpos|play)/ { bad = 1 }
        { last = $2 }
        END { exit bad || off }' ||
        fail "shuffle was not switched back on before the next press: $(echo "$lines" | awk '{ printf "%s ", $2 }')"
    while read -r at command; do
        [[ $command =~ ^(next|pause|stop)$ ]] || continue
        printf '%s\n' "${PRESSES[@]}" | awk -v at="$at" -v command="$command" \
            '$2 == command && $1 <= at && at - $1 <= 7600 { found = 1 } END { exit !found }' || late=$((late + 1))
    done <<<"$lines"
    ((late == 0)) || fail "$late presses reached the player more than 7.6 s after they were made"
}
