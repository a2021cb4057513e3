#pragma once

#include <QWidget>

#include <functional>

// The mouse buttons as the window handlers number them: 1 left, 2 right,
// 4 middle, 0 any other.
qint16 mouseButtonCode(Qt::MouseButton button);
Qt::MouseButton mouseButtonOfCode(qint16 code);

// Moves a borderless window with the pointer (no edges), or sizes the given
// edges, from a press of `button` at pressGlobal (global coordinates). The
// gesture starts only once the pointer has gone the platform's drag distance
// with the button held; let go before, the press stays a click. The left
// button hands the gesture to the window manager where there is one; any
// other button, or no window manager, moves the window by following the
// pointer. `finished` runs once, after the button was let go and the window
// has the geometry the window manager really gave it (after a click too).
void beginWindowMove(QWidget *window, Qt::Edges edges, Qt::MouseButton button, QPoint pressGlobal,
                     std::function<void()> finished);

// Runs now the follow-up of a move of the window that has ended but is still
// waiting for the window manager's last word, so that what the program saves
// next includes it.
void finishWindowMoves(QWidget *window);

// Runs `settled` once the window's geometry on the display has stopped
// changing and the window knows it (at once where there is nothing to wait
// for, as on the offscreen platform). For a move or resize the program
// requested itself, which the window manager may still adjust.
void afterWindowSettles(QWidget *window, std::function<void()> settled);

// Shows a hidden window where it was hidden. A window manager may place a
// window mapped again as it places a new one (fluxbox puts one near the top
// edge in the top left corner): the window goes back once the manager is done.
// `placed` runs then, whether it had to go back or not.
void showInPlace(QWidget *window, std::function<void()> placed);

// Un-minimises a window as the program can, and where the window manager
// keeps it minimised all the same (GNOME Shell keeps minimised X11 windows
// mapped, so mapping one again does nothing), asks the manager to activate
// it, as a task bar does, and then `keepActive` again, the window the user
// was restoring.
void restoreMinimised(QWidget *window, QWidget *keepActive);

// Whether a gesture begun by beginWindowMove on the window is still under way
// (its button held, or its end waiting for the window manager's last word).
bool windowMoveUnderway(QWidget *window);

// Whether a mouse button is held now, as the X server knows it: while the
// window manager moves a window the program hears nothing of the pointer.
// False where there is no X server to ask.
bool pointerButtonHeld(QWidget *window);
