#!/usr/bin/env bash
# Builds and tries Quendra on a clean system of another Debian release, by
# default the current one, Debian 13:
#
#   tools/release_check.sh [SUITE]   (trixie)
#
# A minimal SUITE (debootstrap --variant=minbase, from the Debian mirror apt
# uses here) gets the build dependencies (apt-get build-dep), lintian,
# hardening-check and the validators of that release. There
# tools/deb_check.sh builds the source package and the binary packages with
# that release's compiler, Qt and build flags, the unit tests running in the
# build, and checks them (lintian --pedantic without error or warning,
# hardening-check, each flag once, the same bytes when packed again); the
# desktop entry and the metainfo pass that release's validators. Then apt
# installs the program's package, and a new user starts it once on a virtual
# X display in direct mode against the package's simulator: the simulator's
# log shows the polls, a screenshot the bar drawn.
#
# Root only; needs debootstrap, and the desktop test's X tools here
# (tools/deps.sh --desktop-test). Each step says when it started.
# DEB_BUILD_OPTIONS and DEB_BUILD_PROFILES reach the build.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
suite=${1:-trixie}
clean_name=release_check
source "$here/tools/clean_system.sh"

make_system "$suite"

step "the source tree, its build dependencies and the checkers"
mkdir -p "$root/build/quendra"
if git -C "$here" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$here" ls-files -z --cached --others --exclude-standard |
        (cd "$here" && while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done) |
        tar -C "$here" -c --null -T - | tar -x -C "$root/build/quendra"
else
    tar -C "$here" -c --exclude-vcs --exclude='./build*' . | tar -x -C "$root/build/quendra"
fi
in_root apt-get update -q >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update failed"; }
in_root sh -c 'cd /build/quendra && apt-get build-dep -y -q --no-install-recommends ./' >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "the build dependencies did not install"; }
echo "build dependencies: $(grep -o '[0-9]* newly installed' "$work/apt.log")"
# A session bus for the program's run, as a desktop session has one.
in_root apt-get install -y -q --no-install-recommends lintian devscripts appstream desktop-file-utils dbus-daemon \
    >"$work/apt.log" 2>&1 || { tail -n 30 "$work/apt.log"; fail "the checkers did not install"; }
echo "$(in_root dpkg-query -W -f '${Package} ${Version}\n' dpkg-dev g++ qt6-base-dev lintian appstream | tr '\n' ' ')"

step "tools/deb_check.sh on $suite"
in_root env DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS-}" DEB_BUILD_PROFILES="${DEB_BUILD_PROFILES-}" \
    /build/quendra/tools/deb_check.sh /build/deb || fail "the packages failed to build or their checks on $suite"

step "the desktop entry's and the metainfo's validators on $suite"
in_root desktop-file-validate /build/quendra/dist/org.quendra.Quendra.desktop
in_root appstreamcli validate --no-net /build/quendra/dist/org.quendra.Quendra.metainfo.xml

step "apt-get install the program's package"
program=$(ls "$root"/build/deb/quendra_*.deb)
archive_costs "$root"/build/deb/quendra*.deb
in_root apt-get install -y -q "/build/deb/$(basename "$program")" >"$work/apt.log" 2>&1 ||
    { tail -n 30 "$work/apt.log"; fail "the program's package did not install"; }
in_root dpkg-query -W -f '${Package} ${Version}\n' quendra

step "a new user starts it on a virtual display against quendra-httpq-sim"
start_display
in_root useradd --create-home --shell /bin/bash tester
uid=$(in_root id -u tester)
as_tester=(chroot --userspec="$uid:$uid" "$root" env -i PATH=/usr/bin:/bin HOME=/home/tester USER=tester
    LANG=C.UTF-8 DISPLAY="$DISPLAY")
start_sim trixie
config=$root/home/tester/.config/quendra
mkdir -p "$config"
printf '[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%s\r\nHTTPQ_PASSWD=trixie\r\n' "$port" >"$config/Quendra.ini"
chown -R "$uid:$uid" "$root/home/tester/.config"
"${as_tester[@]}" dbus-run-session -- /usr/bin/quendra >"$work/quendra.log" 2>&1 &
session_pid=$!
pids+=("$session_pid")
quendra_pid=""
started_quendra() { quendra_pid=$(pgrep -x -P "$session_pid" quendra); }
wait_until 20 started_quendra || { cat "$work/quendra.log"; fail "quendra did not start"; }
wait_until 20 window Quendra >/dev/null || { cat "$work/quendra.log"; fail "no bar appeared"; }
polled() { grep -q 'isplaying?p=trixie' "$work/sim.log" && grep -q 'getcurrenttitle?p=trixie' "$work/sim.log"; }
wait_until 10 polled || { cat "$work/quendra.log" "$work/sim.log"; fail "the program did not poll the simulator"; }
sleep 2
read -r bx by bw bh < <(geometry "$(window Quendra)")
shot_not_blank bar "${bw}x${bh}+$bx+$by" 50
echo "the bar's most used colours: $(convert "$work/bar.png" -crop "${bw}x${bh}+$bx+$by" +repage -format %c histogram:info:- |
    sort -rn | head -n 5 | sed -n 's/^ *\([0-9]*\):.* \(#[0-9A-F]\{6\}\).*/\2 (\1 px)/p' | paste -sd ' ')"
echo "the simulator's log: $(grep -c '^GET ' "$work/sim.log") requests; by command:" \
    "$(sed -n 's/^GET \/\([a-z_]*\).*/\1/p' "$work/sim.log" | sort | uniq -c | awk '{ printf "%s %s, ", $2, $1 }' | sed 's/, $//')"
kill -TERM "$quendra_pid"
wait_until 10 eval '! kill -0 "$quendra_pid" 2>/dev/null' || fail "quendra did not end on SIGTERM"
wait "$session_pid" || fail "quendra's session ended with status $?"
step "release_check: built, checked, installed and run on $suite"
