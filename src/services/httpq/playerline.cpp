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
    m_clock.start();
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
    m_inFlight.emplace(++m_lastNumber, m_clock.elapsed());
    checkSilence();
    return m_lastNumber;
}

void PlayerLine::requestAnswered(quint64 number)
{
    m_lastAnswerAt = m_clock.elapsed();
    if (const auto sent = m_inFlight.find(number); sent != m_inFlight.end()) {
        if (m_answerTimes.size() == kRecentAnswers)
            m_answerTimes.erase(m_answerTimes.begin());
        m_answerTimes.push_back(m_lastAnswerAt - sent->second);
        m_inFlight.erase(sent);
    }
    m_failedFrom = -1;
    const bool returned = std::exchange(m_lost, false);
    checkSilence();
    emit answered(number, returned);
    if (returned)
        emit reachableChanged(true);
}

int PlayerLine::patienceMs() const
{
    const qint64 slowest = m_answerTimes.empty() ? 0 : *std::max_element(m_answerTimes.begin(), m_answerTimes.end());
    return int(std::max<qint64>(2 * qint64(m_lostMs), std::min<qint64>(2 * slowest, kMaxPatienceMs)));
}

void PlayerLine::requestFailed(quint64 number)
{
    if (const auto sent = m_inFlight.find(number); sent != m_inFlight.end()) {
        if (m_failedFrom < 0)
            m_failedFrom = sent->second;
        m_inFlight.erase(sent);
    }
    checkSilence();
}

void PlayerLine::requestGivenUp(quint64 number)
{
    // Given up by the program: it tells nothing about the player.
    m_inFlight.erase(number);
    checkSilence();
}

qint64 PlayerLine::silenceStart() const
{
    // From the oldest request still on its way or failed since the
    // player's last answer; the answer itself ends any silence before it.
    qint64 oldest = m_failedFrom;
    if (!m_inFlight.empty() && (oldest < 0 || m_inFlight.begin()->second < oldest))
        oldest = m_inFlight.begin()->second;
    if (oldest < 0)
        return -1;
    return std::max(oldest, m_lastAnswerAt);
}

void PlayerLine::checkSilence()
{
    const qint64 start = silenceStart();
    if (m_lost || start < 0) {
        m_silenceCheck.stop();
        return;
    }
    const qint64 left = m_lostMs - (m_clock.elapsed() - start);
    if (left <= 0)
        goLost();
    else
        m_silenceCheck.start(int(left));
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
