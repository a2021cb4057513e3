#!/usr/bin/env bash
# GNOME Shell's part of the desktop test, run by desktop_test.sh through
# `unshare --mount --net --pid --fork --mount-proc`: a /tmp of its own (the
# shell's Xwayland takes display :0 and its lock files there), a system bus
# and no systemd (a tmpfs over each of their folders), and a network with
# loopback alone, so that nothing outside sees the shell's display or buses
# and everything started here ends with these namespaces. Then the desktop
# test again, for GNOME Shell.
#
#   gnome_namespace.sh QUENDRA HTTPQ_SIM
set -euo pipefail
# The programs may lie in the /tmp that goes: they come along, copied.
exec 3<"$1" 4<"$2"
mount -t tmpfs -o mode=1777 tmpfs /tmp
mkdir -m 1777 /tmp/.X11-unix
mkdir /tmp/programs
cp /proc/self/fd/3 /tmp/programs/quendra
cp /proc/self/fd/4 /tmp/programs/httpq-sim
chmod 755 /tmp/programs/quendra /tmp/programs/httpq-sim
exec 3<&- 4<&-
for folder in /run/dbus /run/systemd; do
    [ -d "$folder" ] && mount -t tmpfs tmpfs "$folder"
done
ip link set lo up
exec "$(dirname "$0")/desktop_test.sh" /tmp/programs/quendra /tmp/programs/httpq-sim
