#include "platform/window/placewatch.h"

#include "platform/window/window_move.h"

#include <QEvent>
#include <QWidget>

#include <utility>

namespace {

// A button held longer than this is not a drag of the window's.
constexpr int kHeldLimitMs = 10000;

} // namespace

PlaceWatch::PlaceWatch(QWidget *window)
    : QObject(window)
    , m_window(window)
    , m_seen(window->pos())
{
    m_rest.setSingleShot(true);
    m_rest.setInterval(kRestMs);
    connect(&m_rest, &QTimer::timeout, this, [this] { rest(true); });
    window->installEventFilter(this);
}

void PlaceWatch::programMove()
{
    m_sinceProgramMove.start();
    m_rest.start();
}

bool PlaceWatch::programMovePending() const
{
    return m_sinceProgramMove.isValid() && !m_sinceProgramMove.hasExpired(kAnswerMs);
}

void PlaceWatch::restNow()
{
    if (m_rest.isActive()) {
        m_rest.stop();
        // A button held now is the one that asked for it (a close button's).
        rest(false);
    }
}

bool PlaceWatch::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window || event->type() != QEvent::Move)
        return false;
    const QPoint place = m_window->pos();
    if (place == m_seen)
        return false;
    m_seen = place;
    // The gesture's end takes care of where the window went.
    if (windowMoveUnderway(m_window)) {
        m_restPlace = place;
        return false;
    }
    if (!programMovePending())
        m_movedByOthers = true;
    m_sinceHeld.invalidate();
    m_rest.start();
    return false;
}

void PlaceWatch::rest(bool waitForButton)
{
    if (waitForButton && pointerButtonHeld(m_window)) {
        if (!m_sinceHeld.isValid())
            m_sinceHeld.start();
        if (!m_sinceHeld.hasExpired(kHeldLimitMs)) {
            m_rest.start();
            return;
        }
    }
    m_sinceHeld.invalidate();
    const bool movedByOthers = std::exchange(m_movedByOthers, false);
    const QPoint place = m_window->pos();
    if (windowMoveUnderway(m_window) || place == m_restPlace) {
        m_restPlace = place;
        return;
    }
    m_restPlace = place;
    emit cameToRest(!movedByOthers);
}
