#pragma once

#include <QAccessible>
#include <QString>
#include <QWidget>

// Shows a top-level window to assistive technologies with the role given (a
// window, a dialog) and its title as its name. A plain widget window is a
// "filler" to them, and Orca reads a window's title only from a frame or a
// dialog around the focus. Call before the window is first shown.
void setReaderRole(QWidget *window, QAccessible::Role role);

// Tells assistive technologies a short message whatever has the focus, as a
// notification that appears with the message as its name (Orca speaks one as
// it shows: "notification", then the message). Qt 6.4 has no announcement of
// its own, and Orca 43 reads none. Lives hidden inside its window until then.
class ReaderNotice final : public QWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ReaderNotice)

public:
    explicit ReaderNotice(QWidget *window);

    void announce(const QString &message);
};
