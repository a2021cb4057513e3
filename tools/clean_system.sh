# Sourced by the scripts that try Quendra on a clean Debian
# (tools/clean_system_check.sh, tools/release_check.sh), once they have set
# clean_name to their own name: a minimal Debian of any suite, made by
# debootstrap from the Debian mirror apt uses here, with its mounts; a free X
# display; the program's windows and screenshots; and, at exit, the removal
# of all of it. Root only.
#
# Display: the first free one of QUENDRA_DESKTOP_DISPLAYS (20 to 29 by
# default). QUENDRA_DESKTOP_SHOTS=folder keeps the screenshots.

fail() { echo "$clean_name: $*" >&2; exit 1; }
step() { echo "== $* ($((SECONDS - started)) s)"; }
# wait_until SECONDS COMMAND...: true once COMMAND succeeds, false after SECONDS.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.2
    done
}
[ "$(id -u)" -eq 0 ] || fail "needs root"
started=$SECONDS

work=$(mktemp -d /var/tmp/quendra-clean.XXXXXX)
root=$work/root
pids=()
mounts=()
# Folders outside the work folder, removed at the end.
leftovers=()
cleanup() {
    local pid i
    [ -z "${QUENDRA_DESKTOP_SHOTS-}" ] || { mkdir -p "$QUENDRA_DESKTOP_SHOTS" && cp "$work"/*.png "$QUENDRA_DESKTOP_SHOTS/" 2>/dev/null; } || true
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
    for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true; done
    # Never through a mount that stayed: the host's devices are behind some.
    if findmnt -rn -o TARGET | grep -q "^$root"; then
        echo "$clean_name: $root still has mounts; left in place" >&2
    else
        rm -rf --one-file-system "$work"
    fi
    for i in "${leftovers[@]}"; do rm -rf "$i"; done
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP

in_root() { chroot "$root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"; }

# debian_sources SUITE: the Debian sources apt uses here (deb822), those of
# this release's suites (updates and security included) turned into SUITE's.
host_suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
debian_sources() {
    local file
    for file in /etc/apt/sources.list.d/*.sources; do
        [ -f "$file" ] || continue
        awk -v host="$host_suite" -v suite="$1" 'BEGIN { RS = ""; FS = "\n" }
            /(^|\n)Types:[^\n]*(^|[ \t])deb([ \t]|\n|$)/ && $0 ~ ("(^|\n)Suites:[^\n]*[ \t]" host) {
                for (i = 1; i <= NF; i++) { if ($i ~ /^Suites:/) gsub(host, suite, $i); print $i }
                print ""
            }' "$file"
    done
}
# The same in one-line style, where apt here has no deb822 sources.
debian_source_lines() {
    grep -h "^deb .* $host_suite" /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        sed "s/ $host_suite\([- ]\)/ $1\1/" || true
}

# make_system SUITE: a minimal Debian SUITE in $root, from the mirror apt uses
# here, with apt's sources for SUITE, /proc, /sys, /dev/pts and /dev/shm.
make_system() {
    local suite=$1 mirror place
    mirror=$(debian_sources "$suite" | awk '/^URIs:/ { print $2; exit }')
    [ -n "$mirror" ] || mirror=$(debian_source_lines "$suite" | awk '{ for (i = 2; i <= NF; i++) if ($i !~ /^\[/) { print $i; exit } }')
    mirror=${mirror:-http://deb.debian.org/debian}
    step "debootstrap --variant=minbase $suite from $mirror"
    debootstrap --variant=minbase "$suite" "$root" "$mirror" >"$work/debootstrap.log" 2>&1 ||
        { tail -n 20 "$work/debootstrap.log"; fail "debootstrap $suite failed"; }
    if [ -n "$(debian_sources "$suite")" ]; then
        debian_sources "$suite" >"$root/etc/apt/sources.list.d/debian.sources"
        rm -f "$root/etc/apt/sources.list"
    elif [ -n "$(debian_source_lines "$suite")" ]; then
        debian_source_lines "$suite" >"$root/etc/apt/sources.list"
    fi
    cp /etc/resolv.conf "$root/etc/resolv.conf" 2>/dev/null || true
    for place in proc sys dev/pts dev/shm; do
        case $place in
        proc) mount -t proc proc "$root/proc" ;;
        sys) mount -t sysfs sys "$root/sys" ;;
        dev/pts) mount --bind /dev/pts "$root/dev/pts" ;;
        # The web engine's processes share memory there.
        dev/shm) mount -t tmpfs -o mode=1777 shm "$root/dev/shm" ;;
        esac
        mounts+=("$root/$place")
    done
    echo "clean system: $(. "$root/etc/os-release" && echo "$PRETTY_NAME"), $(in_root dpkg-query -f '.\n' -W | wc -l) packages"
    # What it had then, for archive_costs.
    cp "$root/var/lib/dpkg/status" "$root/var/lib/dpkg/status.clean"
}

# apt_cost ARGUMENT...: what apt would install in the clean system for
# `apt-get install ARGUMENT...`: "N packages, S MB".
apt_cost() {
    in_root apt-get install --assume-no "$@" 2>&1 |
        awk '/newly installed/ { n = $3 } /After this operation/ { s = $4 " " $5 } END { print n " packages, " s }'
}

# archive_costs DEB...: what apt would install on the new system for
# `apt-get install quendra`, with and without the recommendations, were
# these packages in an archive: apt then follows the program's Recommends to
# its browser, which a local .deb does not find.
archive_costs() {
    local status=(-o Dir::State::status=/var/lib/dpkg/status.clean)
    mkdir -p "$root/tmp/archive"
    cp "$@" "$root/tmp/archive/"
    (cd "$root/tmp/archive" && dpkg-scanpackages . /dev/null >Packages 2>/dev/null)
    echo "deb [trusted=yes] file:/tmp/archive ./" >"$root/etc/apt/sources.list.d/quendra-archive.list"
    in_root apt-get update -q >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update with the archive failed"; }
    echo "from an archive, apt-get install quendra: $(apt_cost "${status[@]}" quendra);" \
        "with --no-install-recommends: $(apt_cost "${status[@]}" --no-install-recommends quendra)"
    rm -rf "$root/etc/apt/sources.list.d/quendra-archive.list" "$root/tmp/archive"
    in_root apt-get update -q >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; fail "apt-get update failed"; }
}

# A virtual X display (Xvfb) on the first free display, exported as DISPLAY,
# whose clients in the clean system reach it through its abstract socket.
start_display() {
    local n
    DISPLAY=""
    for n in ${QUENDRA_DESKTOP_DISPLAYS:-20 21 22 23 24 25 26 27 28 29}; do
        if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
            DISPLAY=:$n
            break
        fi
    done
    [ -n "$DISPLAY" ] || fail "no free X display among ${QUENDRA_DESKTOP_DISPLAYS:-20..29}"
    export DISPLAY
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp -noreset >"$work/xvfb.log" 2>&1 &
    xvfb=$!
    pids+=("$xvfb")
    display_up() { kill -0 "$xvfb" 2>/dev/null && xwininfo -root >/dev/null 2>&1; }
    wait_until 10 display_up || { cat "$work/xvfb.log"; fail "Xvfb did not start on $DISPLAY"; }
    echo "Xvfb on $DISPLAY"
}

# window NAME: the program's ($quendra_pid) window of that name, wider than
# its 1x1 helpers.
window() {
    local w
    for w in $(xdotool search --all --onlyvisible --pid "$quendra_pid" --name "^$1\$" 2>/dev/null); do
        (($(xwininfo -id "$w" | awk '/^  Width:/ { print $2 }') > 100)) && echo "$w" && return 0
    done
    return 1
}
# geometry WINDOW: "X Y WIDTH HEIGHT" on the screen.
geometry() {
    xwininfo -id "$1" | awk '/Absolute upper-left X:/ { x = $NF } /Absolute upper-left Y:/ { y = $NF }
        /^  Width:/ { w = $NF } /^  Height:/ { h = $NF } END { print x, y, w, h }'
}
# shot_not_blank NAME AREA [MIN]: a screenshot $work/NAME.png, whose AREA
# (WxH+X+Y) shows more than MIN (20) colours.
shot_not_blank() {
    import -window root "$work/$1.png"
    local colours
    colours=$(convert "$work/$1.png" -crop "$2" +repage -format '%k' info:)
    ((colours > ${3:-20})) || fail "$1: the area $2 shows $colours colours"
    echo "$1: $colours colours in $2"
}

# start_sim PASSWORD: the package's simulator in the clean system, run as
# "${as_tester[@]}" says, logging each request to $work/sim.log; sets port.
start_sim() {
    "${as_tester[@]}" /usr/bin/quendra-httpq-sim --port 0 --password "$1" --titles 20 --verbose >"$work/sim.log" 2>&1 &
    pids+=($!)
    wait_until 10 grep -q '^listening on' "$work/sim.log" || { cat "$work/sim.log"; fail "quendra-httpq-sim did not start"; }
    port=$(sed -n 's/^listening on .*:\([0-9]*\)$/\1/p' "$work/sim.log")
}
