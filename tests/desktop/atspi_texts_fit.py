#!/usr/bin/python3
# Whether the texts of a window fit, as a screen reader sees them: every
# shown label, option, text field and button of the window named WINDOW of
# the application APP lies inside the window and overlaps no other (a field
# drawn over the end of its caption overlaps it; Qt 6.4 tells no label's
# text extents, so a label's own width is the program's to get right).
#
#   atspi_texts_fit.py APP WINDOW
#
# Prints each control with its place ("label 'Playlist URL' 16,131 102x17")
# and a line for each fault. Exit status 0 when the window was found and
# everything fits, 1 otherwise.
import sys

import pyatspi

ROLES = {
    pyatspi.ROLE_LABEL: "label",
    pyatspi.ROLE_RADIO_BUTTON: "option",
    pyatspi.ROLE_TEXT: "field",
    pyatspi.ROLE_PASSWORD_TEXT: "field",
    pyatspi.ROLE_ENTRY: "field",
    pyatspi.ROLE_PUSH_BUTTON: "button",
}
# Screen coordinates: Qt 6.4 gives them for window coordinates too.
COORDS = pyatspi.DESKTOP_COORDS


def descendants(accessible, depth=0):
    if accessible is None or depth > 12:
        return
    yield accessible
    try:
        children = [accessible.getChildAtIndex(i) for i in range(accessible.childCount)]
    except Exception:
        return
    for child in children:
        yield from descendants(child, depth + 1)


def showing(accessible):
    return accessible.getState().contains(pyatspi.STATE_SHOWING)


def box(accessible):
    extents = accessible.queryComponent().getExtents(COORDS)
    return extents.x, extents.y, extents.width, extents.height


def overlap(a, b):
    return a[0] < b[0] + b[2] and b[0] < a[0] + a[2] and a[1] < b[1] + b[3] and b[1] < a[1] + a[3]


def main():
    app_name, window_name = sys.argv[1].lower(), sys.argv[2]
    desktop = pyatspi.Registry.getDesktop(0)
    apps = [desktop.getChildAtIndex(i) for i in range(desktop.childCount)]
    app = next((a for a in apps if a is not None and a.name.lower() == app_name), None)
    if app is None:
        print("no application %r" % app_name)
        return 1
    windows = [app.getChildAtIndex(i) for i in range(app.childCount)]
    window = next((w for w in windows if w is not None and w.name == window_name and showing(w)), None)
    if window is None:
        print("no window %r among: %s" % (window_name, ", ".join(w.name for w in windows if w is not None)))
        return 1
    left, top, width, height = box(window)
    controls = []
    for accessible in descendants(window):
        role = accessible.getRole()
        if role in ROLES and showing(accessible):
            controls.append((ROLES[role], accessible.name, box(accessible), accessible))
    faults = 0
    for kind, name, (x, y, w, h), _ in controls:
        print("%s %r %d,%d %dx%d" % (kind, name, x, y, w, h))
        if x < left or y < top or x + w > left + width or y + h > top + height:
            print("  FAULT: reaches out of the %dx%d window" % (width, height))
            faults += 1
    for i, (kind, name, place, _) in enumerate(controls):
        for other_kind, other_name, other_place, _ in controls[i + 1:]:
            if overlap(place, other_place):
                print("FAULT: %s %r overlaps %s %r" % (kind, name, other_kind, other_name))
                faults += 1
    print("%d controls, %d faults" % (len(controls), faults))
    return 0 if controls and faults == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
