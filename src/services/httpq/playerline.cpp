#include "services/httpq/playerline.h"

#include <algorithm>

PlayerLine::PlayerLine(QObject *parent)
    : QObject(parent)
{
    // A coarse timer may fire a twentieth late: a press would wait past its bound.
    m_deadline.setSingleShot(true);
    m_deadline.setTimerType(Qt::PreciseTimer);
    connect(&m_deadline, &QTimer::timeout, this, &PlayerLine::dropStale);
    m_silenceCheck.setSingleShot(true);
    connect(&m_silenceCheck, &QTimer::timeout, this, &PlayerLine::checkSilence);
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

void PlayerLine::setPressWaitMs(int ms)
{
    m_pressWaitMs = ms;
    armDeadline();
}

bool PlayerLine::isStale(const Press *press) const
{
    return !press->m_started && press->m_made.elapsed() >= m_pressWaitMs;
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
    } else {
        press->m_suspension = std::move(suspension);
        m_waiting.push_back(press);
    }
    armDeadline();
}

void PlayerLine::leave(Press *press)
{
    std::erase(m_waiting, press);
    std::erase(m_toResume, press);
    if (m_current == press) {
        m_current = nullptr;
        grantNext();
    }
    armDeadline();
    emit pressEnded(press->m_started);
}

void PlayerLine::drop(Press *press)
{
    if (press->m_state == Press::State::Dropped || press->m_started)
        return;
    const bool waited = press->m_state == Press::State::Waiting;
    press->m_state = Press::State::Dropped;
    if (waited) {
        std::erase(m_waiting, press);
        resumeLater(press);
    } else {
        // A request of it may wait behind a poll's on its channel.
        emit pressDropped(press);
    }
    // Its remaining requests fail unsent: the presses after it need not wait.
    if (m_current == press) {
        m_current = nullptr;
        grantNext();
    }
    armDeadline();
}

void PlayerLine::grantNext()
{
    while (!m_current && !m_waiting.empty()) {
        Press *next = m_waiting.front();
        m_waiting.pop_front();
        if (isStale(next)) {
            // Its time ran out while the one before it went.
            next->m_state = Press::State::Dropped;
            resumeLater(next);
            continue;
        }
        m_current = next;
        m_current->m_state = Press::State::Going;
        resumeLater(m_current);
    }
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
    while (!m_waiting.empty() && isStale(m_waiting.front()))
        drop(m_waiting.front());
    if (m_current && isStale(m_current))
        drop(m_current);
    armDeadline();
}

void PlayerLine::armDeadline()
{
    // The oldest press not yet started runs out first: the one going, or
    // the first of those waiting, which were made after it.
    const Press *oldest = m_current && !m_current->m_started ? m_current : nullptr;
    if (!oldest && !m_waiting.empty())
        oldest = m_waiting.front();
    if (!oldest) {
        m_deadline.stop();
        return;
    }
    m_deadline.start(int(std::max<qint64>(0, m_pressWaitMs - oldest->m_made.elapsed())));
}

quint64 PlayerLine::requestSent()
{
    // Silence counts from the first request after the player's last answer.
    if (m_inFlight == 0 && !m_failedSinceAnswer)
        m_silentSince.start();
    ++m_inFlight;
    armSilence();
    return ++m_lastNumber;
}

void PlayerLine::requestAnswered(quint64 number)
{
    m_inFlight = std::max(0, m_inFlight - 1);
    m_failedSinceAnswer = false;
    // Whatever still waits was sent before this answer: its silence starts now.
    if (m_inFlight > 0)
        m_silentSince.start();
    else
        m_silentSince.invalidate();
    armSilence();
    const bool returned = std::exchange(m_lost, false);
    emit answered(number, returned);
    if (returned)
        emit reachableChanged(true);
}

void PlayerLine::requestFailed()
{
    m_inFlight = std::max(0, m_inFlight - 1);
    m_failedSinceAnswer = true;
    checkSilence();
}

void PlayerLine::requestGivenUp()
{
    m_inFlight = std::max(0, m_inFlight - 1);
    // Nothing waits on the player any more: a silence of the program's own
    // making is no sign of it.
    if (m_inFlight == 0 && !m_failedSinceAnswer)
        m_silentSince.invalidate();
    armSilence();
}

void PlayerLine::checkSilence()
{
    if (!m_lost && m_silentSince.isValid() && (m_inFlight > 0 || m_failedSinceAnswer)
        && m_silentSince.elapsed() >= m_lostMs)
        goLost();
    else
        armSilence();
}

void PlayerLine::armSilence()
{
    if (m_lost || !m_silentSince.isValid() || (m_inFlight == 0 && !m_failedSinceAnswer)) {
        m_silenceCheck.stop();
        return;
    }
    m_silenceCheck.start(int(std::max<qint64>(0, m_lostMs - m_silentSince.elapsed())));
}

void PlayerLine::goLost()
{
    m_lost = true;
    m_silenceCheck.stop();
    // What waits would reach the player late, if ever; a press already on
    // its way goes on to its end.
    while (!m_waiting.empty())
        drop(m_waiting.front());
    if (m_current)
        drop(m_current);
    emit reachableChanged(false);
}
