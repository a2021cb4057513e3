#pragma once

#include <QWidget>

#include <functional>

// Moves a borderless window with the mouse (no edges), or sizes the given
// edges: the window manager's own move where it has one, else by following
// the mouse until the button is released. `finished` runs exactly once, when
// the move has ended, whichever way the end shows itself. pressGlobal is
// where the button went down, in global coordinates.
void BeginWindowMove(QWidget *window, Qt::Edges edges, QPoint pressGlobal, std::function<void()> finished);
