#!/usr/bin/env bash
# Tries the packages as a new user would on a clean Debian 12:
#
#   tools/clean_system_check.sh [FOLDER]   (where tools/deb_check.sh left them; build-deb/)
#
# A minimal system (debootstrap --variant=minbase bookworm, from the Debian
# mirror apt uses here) first shows what the README's set-up (tools/deps.sh)
# would install there: none of the desktop test's tools. Then it gets the
# program's package alone, without the
# browser's, with apt; Qt's SVG plugins are taken away, as newer releases
# package them apart. A new user with nothing configured starts it on a
# virtual X display with a tray host: web-control mode says the browser
# module is missing; the settings dialog, opened from the bar's gear, shows
# every text whole in both modes (read through AT-SPI, as a screen reader
# does); the user chooses direct mode and types the simulator's address,
# port and password, saves and closes. Started again, the program polls the
# package's simulator, draws its windows and shows its icon in the tray.
# Then the browser's package comes in and web-control mode shows a page,
# and apt removes both packages.
#
# Root only. The program runs in the chroot; the X server, the tray host,
# the session and accessibility buses and the checks run here (the desktop
# test's tools: tools/deps.sh --desktop-test). Display: the first free one
# of QUENDRA_DESKTOP_DISPLAYS (20 to 29 by default). Everything is removed at
# the end; QUENDRA_DESKTOP_SHOTS=folder keeps the screenshots.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
debs=$(realpath "${1:-$here/build-deb}")
version=$(dpkg-parsechangelog -l "$here/debian/changelog" -S Version)
arch=$(dpkg-architecture -qDEB_HOST_ARCH)
program=$debs/quendra_${version}_$arch.deb
browser=$debs/quendra-webbrowser_${version}_$arch.deb
[ -f "$program" ] && [ -f "$browser" ] || { echo "clean_system_check: no packages in $debs (tools/deb_check.sh makes them)" >&2; exit 1; }
clean_name=clean_system_check
source "$here/tools/clean_system.sh"

make_system bookworm

# ---- the README's set-up (tools/deps.sh, as tools/demo.sh runs it), with apt
# simulating: what it would install, and that no desktop test tool is among it
step "tools/deps.sh on the clean system, apt simulating"
mkdir -p "$root/tmp/src/tools" "$root/tmp/src/tests/desktop" "$root/tmp/shim"
cp -r "$here/debian" "$root/tmp/src/"
cp "$here/tools/deps.sh" "$root/tmp/src/tools/"
cp "$here/tests/desktop/packages" "$root/tmp/src/tests/desktop/"
cat >"$root/tmp/shim/apt-get" <<'SHIM'
#!/bin/sh
# apt-get that only simulates an install; what it would install goes to /tmp/inst.
case " $* " in *" update "*) exec /usr/bin/apt-get "$@" ;; esac
/usr/bin/apt-get -s "$@" >/tmp/inst.last
status=$?
cat /tmp/inst.last >>/tmp/inst
exit $status
SHIM
chmod +x "$root/tmp/shim/apt-get"
in_root apt-get update -qq >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update failed in the clean system"; }
desktop_tools=$(sed -e 's/#.*//' -e '/^\[/d' -e '/^[[:space:]]*$/d' "$here/tests/desktop/packages")
would_install() {
    rm -f "$root/tmp/inst"
    in_root env PATH=/tmp/shim:/usr/sbin:/usr/bin:/sbin:/bin /tmp/src/tools/deps.sh "$@" >"$work/deps.log" 2>&1 ||
        { cat "$work/deps.log"; fail "tools/deps.sh $* failed on the clean system"; }
    awk '/^Inst / { print $2 }' "$root/tmp/inst" | sort -u
}
setup=$(would_install)
asked=$(grep -Fx "$desktop_tools" <<<"$setup" || true)
[ -z "$asked" ] || fail "the set-up for building and running asks apt for the desktop test's $(echo $asked)"
echo "the set-up: $(wc -l <<<"$setup") packages, none of the desktop test's $(wc -l <<<"$desktop_tools") tools"
# The same script, asked for the desktop test, does ask for them: the check above can fail.
with_test=$(would_install --desktop-test)
[ -z "$(grep -Fxv "$with_test" <<<"$desktop_tools")" ] || fail "tools/deps.sh --desktop-test misses desktop test tools"
echo "with --desktop-test: $(wc -l <<<"$with_test") packages"

# ---- the program's package alone
mkdir -p "$root/tmp/debs"
cp "$program" "$browser" "$root/tmp/debs/"
chmod -R a+rX "$root/tmp/debs"
# What apt would bring, as it installs by default and without the
# recommendations (most of them Qt's: GTK's theme, systemd, ...).
step "apt-get install ./$(basename "$program")"
echo "both packages: $(apt_cost "/tmp/debs/$(basename "$program")" "/tmp/debs/$(basename "$browser")");" \
    "without recommendations $(apt_cost --no-install-recommends "/tmp/debs/$(basename "$program")" "/tmp/debs/$(basename "$browser")")"
echo "the program's package: $(apt_cost "/tmp/debs/$(basename "$program")");" \
    "without recommendations $(apt_cost --no-install-recommends "/tmp/debs/$(basename "$program")")"
archive_costs "$program" "$browser"
in_root apt-get install -y -q "/tmp/debs/$(basename "$program")" >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "the program's package did not install"; }
in_root dpkg-query -W -f '${Package}\n' | grep -i webengine && fail "the program's package brought the web engine"
in_root dpkg-query -W -f '${Package}\n' | grep -qx quendra-webbrowser && fail "the browser's package came along"

# Newer releases ship Qt's SVG plugins in a package of their own: without it
# the icons must still show.
plugins=$(find "$root/usr/lib" -path '*/qt6/plugins/*' -name 'libqsvg*.so' -print)
[ -n "$plugins" ] && rm -f $plugins
echo "removed Qt's SVG plugins: ${plugins//$root/}"

# ---- the session: X, a tray host, a session bus with the accessibility bus
step "a new user's session on a virtual display"
in_root useradd --create-home --shell /bin/bash tester
uid=$(in_root id -u tester)
home=$root/home/tester
# The buses live in a folder that the chroot sees at the same path.
run=/run/quendra-clean-$$
mkdir -p "$run" "$root$run"
leftovers+=("$run")
chown "$uid:$uid" "$run"
chmod 700 "$run"
mount --bind "$run" "$root$run"
mounts+=("$root$run")
# Command prefixes rather than functions: a process started in the
# background with them has the pid that $! gives.
as_user=(setpriv --reuid="$uid" --regid="$uid" --clear-groups env HOME="$run" XDG_RUNTIME_DIR="$run")

start_display
trayer --edge bottom --align right --widthtype pixel --width 120 --height 24 --SetDockType true \
    --transparent false >"$work/trayer.log" 2>&1 &
pids+=($!)
tray_ready() { [[ $(xwininfo -root -tree 2>/dev/null) == *'"panel": ("panel" "trayer")'* ]]; }
wait_until 10 tray_ready || fail "trayer did not start"
export DBUS_SESSION_BUS_ADDRESS=unix:path=$run/bus
"${as_user[@]}" dbus-daemon --session --address="$DBUS_SESSION_BUS_ADDRESS" --nofork >"$work/bus.log" 2>&1 &
pids+=($!)
wait_until 10 test -S "$run/bus" || fail "the session bus did not start"
"${as_user[@]}" /usr/libexec/at-spi-bus-launcher --launch-immediately >"$work/atspi.log" 2>&1 &
pids+=($!)
wait_until 10 "${as_user[@]}" dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.a11y.Bus.GetAddress \
    >/dev/null 2>&1 || fail "the accessibility bus did not start"

# The program and the simulator run in the chroot as the new user.
as_tester=(chroot --userspec="$uid:$uid" "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester USER=tester
    LANG=C.UTF-8 DISPLAY="$DISPLAY" DBUS_SESSION_BUS_ADDRESS="$DBUS_SESSION_BUS_ADDRESS" XDG_RUNTIME_DIR="$run"
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
cp "$here/tests/desktop/atspi_buttons.py" "$here/tests/desktop/atspi_texts_fit.py" "$run/"
reader() { "${as_user[@]}" /usr/bin/python3 "$run/$1" "${@:2}"; }
quendra_pid=""
start_quendra() {
    "${as_tester[@]}" /usr/bin/quendra >"$work/quendra-$1.log" 2>&1 &
    quendra_pid=$!
    pids+=("$quendra_pid")
    wait_until 20 window Quendra >/dev/null || { cat "$work/quendra-$1.log"; fail "no bar appeared ($1)"; }
}
close_quendra() {
    reader atspi_buttons.py Quendra Close >"$work/reader.log" 2>&1 || { cat "$work/reader.log"; fail "no Close button"; }
    wait_until 10 eval '! kill -0 "$quendra_pid" 2>/dev/null' || fail "Close did not end the program"
    wait "$quendra_pid" || fail "the program ended with status $?"
}
# texts_fit CAPTION: the settings dialog's texts fit, as AT-SPI reads them.
texts_fit() {
    reader atspi_texts_fit.py Quendra Settings >"$work/fit.log" 2>&1 || { cat "$work/fit.log"; fail "$1: the settings dialog's texts do not fit"; }
    grep -q "label '$1'" "$work/fit.log" || { cat "$work/fit.log"; fail "no caption '$1' in the settings dialog"; }
    echo "settings dialog, $1 ...: $(tail -n 1 "$work/fit.log")"
}
# click_control KIND NAME [N]: a click on the Nth control of that kind and
# name (first by default) in the settings dialog, where AT-SPI places it.
click_control() {
    local x y w h
    read -r x y w h < <(grep "^$1 '$2' " "$work/fit.log" | sed -n "${3:-1}p" | sed 's/.* \([0-9]*\),\([0-9]*\) \([0-9]*\)x\([0-9]*\)$/\1 \2 \3 \4/')
    [ -n "$h" ] || fail "no $1 '$2' in the settings dialog"
    xdotool mousemove $((x + w / 2)) $((y + h / 2)) click 1
    sleep 0.3
}

# ---- the first start: web-control mode, without the browser module
step "first start: web-control mode without the browser module"
start_quendra first
reader atspi_texts_fit.py Quendra Quendra >"$work/bar.log" 2>&1 || true
grep -q "label 'Web control needs the browser module.*quendra-webbrowser" "$work/bar.log" ||
    { cat "$work/bar.log" "$work/quendra-first.log"; fail "the bar does not say that the browser module is missing"; }
echo "the bar says: $(sed -n "s/^label '\(Web control needs.*\)' [0-9,]* [0-9x]*$/\1/p" "$work/bar.log")"
reader atspi_buttons.py Quendra Settings >"$work/reader.log" 2>&1 || { cat "$work/reader.log"; fail "no Settings button"; }
wait_until 10 window Settings >/dev/null || fail "the gear opened no settings dialog"
texts_fit "Quendra Control URL"
click_control option "direct to httpq"
texts_fit "Refresh Songtitle (ms)"
import -window root "$work/dialog.png"

# The user types the simulator's address, port and password, and saves.
start_sim clean
for field in "httpq server URL|127.0.0.1" "httpq port|$port" "httpq password|clean"; do
    IFS='|' read -r name text <<<"$field"
    click_control field "$name"
    xdotool key ctrl+a type "$text"
done
reader atspi_buttons.py Quendra Save >"$work/reader.log" 2>&1 || { cat "$work/reader.log"; fail "no Save button"; }
wait_until 10 eval '! window Settings >/dev/null' || fail "Save did not close the dialog"
close_quendra
ini=$home/.config/quendra/Quendra.ini
[ -f "$ini" ] || fail "no settings file in ~/.config/quendra"
[ "$(stat -c '%a %u' "$ini")" = "600 $uid" ] || fail "the settings file is $(stat -c '%a, owner %u' "$ini")"
grep -q '^QUENDRA_TYPE=DIRECT' "$ini" || { cat "$ini"; fail "the dialog saved no direct mode"; }

# ---- direct mode against the simulator
step "second start: direct mode against quendra-httpq-sim on port $port"
start_quendra direct
wait_until 10 grep -q 'isplaying?p=clean' "$work/sim.log" || fail "the program asked the simulator nothing"
bar=$(window Quendra)
icon=""
tray_icon() {
    local w size
    for w in $(xdotool search --all --onlyvisible --pid "$quendra_pid" 2>/dev/null); do
        size=$(xwininfo -id "$w" | awk '/^  Width:/ { w = $2 } /^  Height:/ { h = $2 } END { print w, h }')
        read -r width height <<<"$size"
        ((width >= 8 && width <= 64 && height >= 8 && height <= 64)) && icon=$w && return 0
    done
    return 1
}
wait_until 10 tray_icon || fail "no icon in the tray"
sleep 1
read -r bx by bw bh < <(geometry "$bar")
read -r ix iy iw ih < <(geometry "$icon")
shot_not_blank bar "${bw}x${bh}+$bx+$by" 50
shot_not_blank tray-icon "${iw}x${ih}+$ix+$iy" 5
close_quendra

# ---- the browser's package: web-control mode shows the page
step "apt-get install ./$(basename "$browser")"
echo "the browser's package, then: $(apt_cost "/tmp/debs/$(basename "$browser")");" \
    "without recommendations $(apt_cost --no-install-recommends "/tmp/debs/$(basename "$browser")")"
in_root apt-get install -y -q "/tmp/debs/$(basename "$browser")" >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "the browser's package did not install"; }
# Both pages: the simulator's own (it names itself at /).
sed -i -e 's/^QUENDRA_TYPE=.*/QUENDRA_TYPE=WEBCONTROL\r/' -e "s|^URL=.*|URL=http://127.0.0.1:$port/\r|" "$ini"
[ "$(grep -c "^URL=http://127.0.0.1:$port/" "$ini")" -eq 2 ] || { cat "$ini"; fail "the settings file has no two page addresses"; }
start_quendra web
browser_runs() { pgrep -f QtWebEngineProcess -P "$quendra_pid" >/dev/null; }
wait_until 30 browser_runs || { cat "$work/quendra-web.log"; fail "no browser process in web-control mode"; }
wait_until 30 grep -q '^GET / ' "$work/sim.log" || { cat "$work/quendra-web.log"; fail "the browser asked the simulator for no page"; }
sleep 2
kill -0 "$quendra_pid" 2>/dev/null || { cat "$work/quendra-web.log"; fail "the program ended in web-control mode"; }
read -r bx by bw bh < <(geometry "$(window Quendra)")
# The page, below the title strip.
shot_not_blank web-control "${bw}x$((bh - 20))+$bx+$((by + 20))" 2
close_quendra

step "apt-get remove quendra quendra-webbrowser"
in_root apt-get remove -y -q quendra quendra-webbrowser >"$work/apt.log" 2>&1 || { tail -n 20 "$work/apt.log"; fail "apt-get remove failed"; }
left=$(in_root dpkg-query -W -f '${Package} ${db:Status-Status}\n' 'quendra*' 2>/dev/null | grep -v ' not-installed$' || true)
[ -z "$left" ] || fail "after removal: $left"
for file in /usr/bin/quendra /usr/bin/quendra-httpq-sim /usr/share/applications/org.quendra.Quendra.desktop; do
    [ ! -e "$root$file" ] || fail "$file is still there after removal"
done
step "clean_system_check: installed, used and removed on a clean Debian 12"
