#pragma once

class QWidget;

// Keeps a window at its size in device-independent pixels when it moves to a
// screen of another scale. Qt 6.4 on X11 tells the window of its new screen
// (once the window manager has put it there: at the drop of a drag) but keeps
// its size in the display's pixels, so that the window shows at the old
// scale, cut or with a margin, until the program sizes it again.
void followScreenScale(QWidget *window);
