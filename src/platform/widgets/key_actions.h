#pragma once

#include <QList>

#include <functional>

class QWidget;

// Runs `action` when one of `keys`, held without Ctrl, Alt or Meta, reaches
// the widget: pressed on it, or let through by its focused child (a line
// edit lets Return through, a picture button does not). The key is taken.
void onKeys(QWidget *widget, const QList<int> &keys, std::function<void()> action);

// When `window` becomes the active window with no widget of its own to give
// the focus back to (activated before anything in it was clicked, or after
// the focus was cleared), `widget` takes the focus, as it would by a click.
void takeFocusOnActivation(QWidget *window, QWidget *widget);
