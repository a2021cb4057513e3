#!/usr/bin/python3
# The pointer of a GNOME Shell session, through mutter's remote-desktop
# interface on the session bus: XTest inside its Xwayland moves the X
# pointer, but not the compositor's, which does the window manager's moves.
#
#   mutter_pointer.py click BUTTON X Y
#   mutter_pointer.py drag BUTTON X Y DX DY
#   mutter_pointer.py key KEYSYM...
#
# BUTTON is 1 left, 2 middle, 3 right; X, Y are screen pixels. The pointer is
# first sent to the screen's top left corner (relative moves stop there),
# then moved to X, Y. The session lives as long as this process: each call
# does one whole gesture.
import sys
import time

import dbus

BUTTONS = {"1": 272, "3": 273, "2": 274}


def session():
    bus = dbus.SessionBus()
    desktop = bus.get_object("org.gnome.Mutter.RemoteDesktop", "/org/gnome/Mutter/RemoteDesktop")
    path = desktop.CreateSession(dbus_interface="org.gnome.Mutter.RemoteDesktop")
    remote = dbus.Interface(bus.get_object("org.gnome.Mutter.RemoteDesktop", path),
                            "org.gnome.Mutter.RemoteDesktop.Session")
    remote.Start()
    return remote


def move(remote, dx, dy, steps=1, pause=0.0):
    done_x = done_y = 0
    for i in range(1, steps + 1):
        x, y = dx * i // steps, dy * i // steps
        remote.NotifyPointerMotionRelative(dbus.Double(x - done_x), dbus.Double(y - done_y))
        done_x, done_y = x, y
        time.sleep(pause)


def home(remote, x, y):
    move(remote, -20000, -20000)
    time.sleep(0.05)
    move(remote, x, y)
    time.sleep(0.1)


def button(remote, which, down):
    remote.NotifyPointerButton(dbus.Int32(BUTTONS[which]), dbus.Boolean(down))


def main(argv):
    remote = session()
    try:
        if argv[0] == "click":
            which, x, y = argv[1], int(argv[2]), int(argv[3])
            home(remote, x, y)
            button(remote, which, True)
            time.sleep(0.1)
            button(remote, which, False)
        elif argv[0] == "drag":
            which, x, y, dx, dy = argv[1], int(argv[2]), int(argv[3]), int(argv[4]), int(argv[5])
            home(remote, x, y)
            button(remote, which, True)
            time.sleep(0.15)
            move(remote, dx, dy, steps=10, pause=0.03)
            time.sleep(0.1)
            button(remote, which, False)
        elif argv[0] == "key":
            for name in argv[1:]:
                keysym = int(name, 0)
                remote.NotifyKeyboardKeysym(dbus.UInt32(keysym), True)
                remote.NotifyKeyboardKeysym(dbus.UInt32(keysym), False)
        else:
            raise SystemExit("unknown gesture " + argv[0])
        time.sleep(0.05)
    finally:
        remote.Stop()


if __name__ == "__main__":
    main(sys.argv[1:])
