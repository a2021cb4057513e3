#pragma once

#include <QString>

// Names the program's desktop entry (its file name without ".desktop") for
// the desktop: as the application's desktop file name, and on every window
// the program shows as the X11 properties task managers match windows to
// entries by (_KDE_NET_WM_DESKTOP_FILE, _GTK_APPLICATION_ID), which Qt 6.4
// does not set; the windows go through X11 on Wayland sessions too.
void nameDesktopEntry(const QString &name);
