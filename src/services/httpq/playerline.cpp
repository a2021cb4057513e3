#include "services/httpq/playerline.h"

#include <algorithm>

PlayerLine::PlayerLine(QObject *parent)
    : QObject(parent)
{
    // A player that never answers is shown as gone as one that stopped answering.
    m_sinceAnswer.start();
    m_staleCheck.setSingleShot(true);
    connect(&m_staleCheck, &QTimer::timeout, this, &PlayerLine::dropStale);
}

PlayerLine::~PlayerLine()
{
    // The presses still waiting for their turn end here with their
    // coroutines, without going on; the one under way ends with its own.
    std::deque<Press *> waiting;
    for (std::deque<Press *> *line : {&m_waiting, &m_toResume}) {
        std::move(line->begin(), line->end(), std::back_inserter(waiting));
        line->clear();
    }
    if (m_current)
        m_current->m_line = nullptr;
    for (Press *press : waiting)
        press->m_line = nullptr;
    for (Press *press : waiting)
        press->m_suspension.destroy();
}

PlayerLine::Turn PlayerLine::press()
{
    return Turn(this);
}

void PlayerLine::enter(Press *press, async::Suspension suspension)
{
    if (m_lost || m_waiting.size() >= kMaxWaiting) {
        press->m_state = Press::State::Dropped;
        return;
    }
    if (!m_current && m_waiting.empty()) {
        press->m_state = Press::State::Going;
        m_current = press;
        return;
    }
    press->m_suspension = std::move(suspension);
    press->m_since.start();
    m_waiting.push_back(press);
    if (!m_staleCheck.isActive())
        m_staleCheck.start(m_pressWaitMs);
}

void PlayerLine::leave(Press *press)
{
    std::erase(m_waiting, press);
    std::erase(m_toResume, press);
    if (m_current == press) {
        m_current = nullptr;
        grantNext();
    }
}

void PlayerLine::drop(Press *press)
{
    if (press->m_state == Press::State::Dropped)
        return;
    const bool waited = press->m_state == Press::State::Waiting;
    press->m_state = Press::State::Dropped;
    if (waited) {
        std::erase(m_waiting, press);
        resumeLater(press);
    }
    // Its remaining requests fail unsent: the presses after it need not wait.
    if (m_current == press) {
        m_current = nullptr;
        grantNext();
    }
}

void PlayerLine::grantNext()
{
    if (m_current || m_waiting.empty())
        return;
    m_current = m_waiting.front();
    m_waiting.pop_front();
    m_current->m_state = Press::State::Going;
    resumeLater(m_current);
}

void PlayerLine::resumeLater(Press *press)
{
    m_toResume.push_back(press);
    // Never from here: this may be inside another handler's code.
    QMetaObject::invokeMethod(this, &PlayerLine::resumeNext, Qt::QueuedConnection);
}

void PlayerLine::resumeNext()
{
    if (m_toResume.empty())
        return;
    Press *press = m_toResume.front();
    m_toResume.pop_front();
    press->m_suspension.resume();
}

void PlayerLine::dropStale()
{
    while (!m_waiting.empty() && m_waiting.front()->m_since.elapsed() >= m_pressWaitMs)
        drop(m_waiting.front());
    if (!m_waiting.empty())
        m_staleCheck.start(std::max<qint64>(0, m_pressWaitMs - m_waiting.front()->m_since.elapsed()));
}

void PlayerLine::notePollAnswer(bool answered)
{
    if (answered) {
        m_sinceAnswer.start();
        if (!std::exchange(m_lost, false))
            return;
    } else {
        // A single miss changes nothing; only a player that has not answered
        // for a while is gone.
        if (m_lost || m_sinceAnswer.elapsed() < kLostMs)
            return;
        m_lost = true;
        // What waits or is under way would reach the player late, if ever.
        while (!m_waiting.empty())
            drop(m_waiting.front());
        if (m_current)
            drop(m_current);
    }
    emit reachableChanged(!m_lost);
}
