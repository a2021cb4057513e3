#include "services/httpq/httpqclient.h"

#include "core/settings/settings.h"
#include "platform/transport/inettransfer.h"

#include <algorithm>

QString HttpqClient::BuildUrl(QStringView command, QStringView argument)
{
    return formHttpqUrl({gHttpqServer, gHttpqPort, gHttpqPasswd}, command, argument);
}

HttpqClient::HttpqClient(const QString &channelName, QObject *owner, PlayerLine *line)
    : QObject(owner)
    , m_transfer(createInetTransfer(channelName, this))
    , m_line(line)
{
    setObjectName(channelName);
    connect(m_transfer, &InetTransfer::stateChanged, this, [this](int state) {
        if (state != InetTransfer::kResponseCompleted)
            return;
        m_getCompleted = true;
        emit ResponseCompleted();
    });
    connect(m_transfer, &InetTransfer::fetchEnded, this, &HttpqClient::onFetchEnded);
    connect(m_transfer, &InetTransfer::requestEnded, this, &HttpqClient::onRequestEnded);
    m_giveUp.setSingleShot(true);
    connect(&m_giveUp, &QTimer::timeout, this, &HttpqClient::giveUpCurrent);
    m_retryTimer.setSingleShot(true);
    connect(&m_retryTimer, &QTimer::timeout, this, &HttpqClient::retryDue);
    if (line) {
        connect(line, &PlayerLine::pressDropped, this, &HttpqClient::onPressDropped);
        connect(line, &PlayerLine::answered, this, &HttpqClient::onAnswered);
    }
}

HttpqClient::~HttpqClient()
{
    // The transfer, a child, goes after this and must not call back.
    m_transfer->disconnect(this);
    shutDown();
}

HttpqClient::Request HttpqClient::Fetch(const QString &url, Retry retry)
{
    return Request(this, url, retry);
}

void HttpqClient::enqueue(Waiter waiter)
{
    if (m_shutDown) {
        answer(std::move(waiter), std::nullopt, true);
        return;
    }
    m_waiting.push_back(std::move(waiter));
    startNext();
}

std::optional<HttpqClient::Waiter> HttpqClient::takeNext()
{
    // A press goes before the polls waiting beside it.
    auto next = std::find_if(m_waiting.begin(), m_waiting.end(), [](const Waiter &waiter) {
        const PlayerLine::Press *press = waiter.press();
        return press && press->isGoing();
    });
    if (next == m_waiting.end())
        next = m_waiting.begin();
    Waiter waiter = std::move(*next);
    m_waiting.erase(next);
    return waiter;
}

void HttpqClient::startNext()
{
    // A transfer that ends at once calls back into here: the loop below
    // goes on with the next request.
    if (m_starting)
        return;
    m_starting = true;
    while (!m_shutDown && !m_current && !m_waiting.empty() && !m_transfer->isBusy()) {
        Waiter next = *takeNext();
        // A press whose time ran out while its request waited here is
        // dropped now, unsent, however late the channel came free.
        PlayerLine::Press *press = next.press();
        if (press && !press->maySend()) {
            answer(std::move(next), std::nullopt, true);
            continue;
        }
        // Started before it leaves: the line may find the player gone while
        // the transfer answers, and a press on its way is never dropped.
        if (press)
            press->noteSent();
        const QString url = next.url;
        m_current = std::move(next);
        m_currentSent = leaving();
        if (!m_transfer->startFetch(url)) {
            // Nothing left: the URL cannot be used.
            report(std::exchange(m_currentSent, std::nullopt), false, true);
            answer(*std::exchange(m_current, std::nullopt), std::nullopt);
            continue;
        }
        // A poll that the player has not answered in twice the silence that
        // makes it gone is given up, so that the channel can ask again and
        // see the player come back; a slow network's late answers still come.
        if (m_current && m_line && !press)
            m_giveUp.start(2 * m_line->lostMs());
    }
    m_starting = false;
}

void HttpqClient::onFetchEnded(const std::optional<QString> &text)
{
    if (!m_current)
        return;
    m_giveUp.stop();
    Waiter waiter = *std::exchange(m_current, std::nullopt);
    report(std::exchange(m_currentSent, std::nullopt), text.has_value(), false);
    if (!text && waiter.request && retryLater(waiter))
        return;
    answer(std::move(waiter), text);
}

void HttpqClient::onRequestEnded()
{
    if (m_getSent)
        report(std::exchange(m_getSent, std::nullopt), std::exchange(m_getCompleted, false), false);
    startNext();
}

HttpqClient::Sent HttpqClient::leaving()
{
    Sent sent{m_line ? m_line->requestSent() : 0, {}};
    sent.since.start();
    return sent;
}

void HttpqClient::report(const std::optional<Sent> &sent, bool answered, bool givenUp)
{
    if (!sent || !m_line)
        return;
    if (answered)
        m_line->requestAnswered(sent->number);
    else if (givenUp)
        m_line->requestGivenUp(sent->number);
    else
        m_line->requestFailed(sent->number);
}

bool HttpqClient::retryLater(Waiter &waiter)
{
    Request *request = waiter.request;
    bool again = false;
    switch (request->m_retry) {
    case Retry::None: break;
    case Retry::WhileReachable:
        again = ++request->m_attempts < kRetryAttempts && m_line && m_line->isReachable();
        break;
    case Retry::UntilAnswered: again = request->m_since.elapsed() < kPutBackLimitMs; break;
    }
    if (!again || m_shutDown)
        return false;
    QElapsedTimer since;
    since.start();
    m_retrying.emplace_back(std::move(waiter), since);
    if (!m_retryTimer.isActive())
        m_retryTimer.start(kRetryPauseMs);
    return true;
}

void HttpqClient::retryDue()
{
    while (!m_retrying.empty() && m_retrying.front().second.elapsed() >= kRetryPauseMs) {
        m_waiting.push_front(std::move(m_retrying.front().first));
        m_retrying.pop_front();
    }
    if (!m_retrying.empty())
        m_retryTimer.start(int(std::max<qint64>(0, kRetryPauseMs - m_retrying.front().second.elapsed())));
    startNext();
}

void HttpqClient::onPressDropped(PlayerLine::Press *press)
{
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (it->press() != press) {
            ++it;
            continue;
        }
        Waiter dropped = std::move(*it);
        it = m_waiting.erase(it);
        answer(std::move(dropped), std::nullopt, true);
    }
}

void HttpqClient::onAnswered(quint64 number, bool returned)
{
    if (!m_current || !m_currentSent || m_currentSent->number >= number)
        return;
    // The player answered a request sent after this one. After a silence
    // this one is lost (a player that slept or hung keeps no promise about
    // what it took before); otherwise it is only slower, and has as long as
    // the line's patience.
    const qint64 left = returned ? 0 : m_line->patienceMs() - m_currentSent->since.elapsed();
    if (!m_giveUp.isActive() || m_giveUp.remainingTime() > left)
        m_giveUp.start(int(std::max<qint64>(0, left)));
}

void HttpqClient::giveUpCurrent()
{
    // Ends as a failure, as a time-out would: the player did not answer.
    if (m_current)
        m_transfer->cancel();
}

void HttpqClient::answer(Waiter waiter, const std::optional<QString> &text, bool givenUp)
{
    // Its coroutine was destroyed meanwhile.
    if (!waiter.request)
        return;
    waiter.request->m_answer = text;
    waiter.request->m_givenUp = givenUp;
    m_answered.push_back(std::move(waiter));
    // Not from here: this may be deep inside the transfer's or another
    // handler's code, which the coroutine must not run inside of.
    QMetaObject::invokeMethod(this, &HttpqClient::resumeNext, Qt::QueuedConnection);
}

void HttpqClient::resumeNext()
{
    if (m_answered.empty())
        return;
    Waiter waiter = std::move(m_answered.front());
    m_answered.pop_front();
    waiter.request->m_registered = false;
    if (m_shutDown)
        waiter.suspension.destroy();
    else
        waiter.suspension.resume();
}

void HttpqClient::forget(const Request *request)
{
    const auto same = [request](const Waiter &waiter) { return waiter.request == request; };
    std::erase_if(m_waiting, same);
    std::erase_if(m_answered, same);
    std::erase_if(m_retrying, [&](const auto &retry) { return same(retry.first); });
    // Its request goes on, unanswered; the next one waits for its end.
    if (m_current && m_current->request == request)
        m_current->request = nullptr;
}

bool HttpqClient::StartGet(const QString &url)
{
    if (m_shutDown || IsBusy())
        return false;
    m_getCompleted = false;
    m_getSent = leaving();
    if (m_transfer->startGet(url))
        return true;
    report(std::exchange(m_getSent, std::nullopt), false, true);
    return false;
}

QString HttpqClient::ReadChunk(int size)
{
    return m_transfer->readChunk(size);
}

bool HttpqClient::IsBusy() const
{
    return m_transfer->isBusy() || !m_waiting.empty() || !m_retrying.empty();
}

void HttpqClient::Cancel()
{
    // The waiting requests fail with the one under way, in their order, and
    // none of them starts on the way.
    std::deque<Waiter> waiting;
    waiting.swap(m_waiting);
    for (auto &retry : m_retrying)
        waiting.push_back(std::move(retry.first));
    m_retrying.clear();
    m_retryTimer.stop();
    if (std::optional<Waiter> current = abandonCurrent())
        waiting.push_front(std::move(*current));
    for (Waiter &waiter : waiting)
        answer(std::move(waiter), std::nullopt, true);
}

std::optional<HttpqClient::Waiter> HttpqClient::abandonCurrent()
{
    std::optional<Waiter> current = std::exchange(m_current, std::nullopt);
    const std::optional<Sent> sent = m_currentSent ? std::exchange(m_currentSent, std::nullopt)
                                                   : std::exchange(m_getSent, std::nullopt);
    m_giveUp.stop();
    // A request waiting here may start on the way.
    m_transfer->cancel();
    report(sent, false, true);
    return current;
}

void HttpqClient::cancelPolls()
{
    const auto isPoll = [](const Waiter &waiter) { return !waiter.request || !waiter.press(); };
    std::deque<Waiter> polls;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        if (isPoll(*it)) {
            polls.push_back(std::move(*it));
            it = m_waiting.erase(it);
        } else {
            ++it;
        }
    }
    // Under way: a poll's request, or the transfer's own long answer.
    if (m_transfer->isBusy() && !(m_current && !isPoll(*m_current))) {
        if (std::optional<Waiter> current = abandonCurrent())
            polls.push_front(std::move(*current));
    }
    for (Waiter &waiter : polls)
        answer(std::move(waiter), std::nullopt, true);
}

void HttpqClient::shutDown()
{
    m_shutDown = true;
    m_giveUp.stop();
    m_retryTimer.stop();
    std::deque<Waiter> waiters;
    if (m_current)
        waiters.push_back(*std::exchange(m_current, std::nullopt));
    for (auto &retry : m_retrying)
        waiters.push_back(std::move(retry.first));
    m_retrying.clear();
    for (std::deque<Waiter> *line : {&m_answered, &m_waiting}) {
        std::move(line->begin(), line->end(), std::back_inserter(waiters));
        line->clear();
    }
    report(std::exchange(m_currentSent, std::nullopt), false, true);
    report(std::exchange(m_getSent, std::nullopt), false, true);
    m_transfer->cancel();
    destroyWaiters(std::move(waiters));
}

void HttpqClient::destroyWaiters(std::deque<Waiter> waiters)
{
    for (Waiter &waiter : waiters) {
        if (!waiter.request)
            continue;
        waiter.request->m_registered = false;
        waiter.suspension.destroy();
    }
}

void HttpqClient::setRequestTimeout(int ms)
{
    m_transfer->setRequestTimeout(ms);
}
