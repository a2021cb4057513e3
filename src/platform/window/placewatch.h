#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <QTimer>

#include <optional>

class QWidget;

// Tells when a window's place on the screen has changed and come to rest,
// whoever moved it: the user through the window manager (its drag, a move
// from its window menu, another program's request), the window manager
// itself (a panel that pushes the window aside), or the program. The moves
// of a gesture begun by beginWindowMove are left to that gesture's end.
class PlaceWatch final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlaceWatch)

public:
    // Quiet this long after the last move, the place is at rest (while a
    // mouse button is held, the window manager may still be moving it).
    static constexpr int kRestMs = 250;
    // How long the window manager may take to answer a move of the
    // program's: moves within it are that answer (a place the manager
    // chose instead, say), later ones someone else's.
    static constexpr int kAnswerMs = 500;

    explicit PlaceWatch(QWidget *window);

    // The program moves the window now: the places it comes to until the
    // window manager has answered are the program's, not someone else's.
    void programMove();
    // A rest still waited for comes now, before the places are saved.
    void restNow();
    // Whether a move of the program's may still be answered.
    bool programMovePending() const;

Q_SIGNALS:
    // The window rests at a new place; byProgram when only the program
    // moved it since the last rest (with the window manager's answer).
    void cameToRest(bool byProgram);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Waits on while a mouse button is held, unless told not to.
    void rest(bool waitForButton);

    QWidget *m_window;
    QTimer m_rest;
    QPoint m_seen;
    std::optional<QPoint> m_restPlace;
    QElapsedTimer m_sinceProgramMove;
    bool m_movedByOthers = false;
    QElapsedTimer m_sinceHeld;
};
