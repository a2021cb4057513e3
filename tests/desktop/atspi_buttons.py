#!/usr/bin/python3
# A screen reader's view of a program through AT-SPI: lists the push buttons
# and switches (check boxes, as Qt shows checkable buttons) of the
# application named APP and presses the one named PRESS.
#
#   atspi_buttons.py APP [PRESS]
#
# Prints "buttons: name, name, ..." and, when it pressed, "pressed: NAME".
# Exit status 0 when the application and the button were found (and the
# button pressed), 1 otherwise.
import sys

import pyatspi

BUTTON_ROLES = (pyatspi.ROLE_PUSH_BUTTON, pyatspi.ROLE_CHECK_BOX)


def buttons_of(accessible, depth=0):
    found = []
    if accessible is None or depth > 12:
        return found
    try:
        if accessible.getRole() in BUTTON_ROLES:
            found.append(accessible)
        children = [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]
    except Exception:
        return found
    for child in children:
        found.extend(buttons_of(child, depth + 1))
    return found


def main():
    app_name = sys.argv[1].lower()
    press = sys.argv[2] if len(sys.argv) > 2 else None
    desktop = pyatspi.Registry.getDesktop(0)
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    app = next((a for a in apps if a is not None and a.name.lower() == app_name), None)
    if app is None:
        print("no application %r among: %s" % (app_name, ", ".join(a.name for a in apps if a is not None)))
        return 1
    buttons = buttons_of(app)
    print("buttons: " + ", ".join(b.name for b in buttons))
    if press is None:
        return 0
    target = next((b for b in buttons if b.name == press), None)
    if target is None:
        return 1
    action = target.queryAction()
    names = [action.getName(i) for i in range(action.nActions)]
    if "press" not in [n.lower() for n in names]:
        print("no press action among: %s" % ", ".join(names))
        return 1
    action.doAction([n.lower() for n in names].index("press"))
    print("pressed: " + press)
    return 0


if __name__ == "__main__":
    sys.exit(main())
