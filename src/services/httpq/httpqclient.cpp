#include "services/httpq/httpqclient.h"

#include "platform/transport/inettransfer.h"
#include "core/settings/settings.h"

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
        if (state == InetTransfer::kResponseCompleted)
            emit ResponseCompleted();
    });
    connect(m_transfer, &InetTransfer::fetchEnded, this, &HttpqClient::onFetchEnded);
    connect(m_transfer, &InetTransfer::requestEnded, this, &HttpqClient::startNext);
    m_staleCheck.setSingleShot(true);
    connect(&m_staleCheck, &QTimer::timeout, this, &HttpqClient::dropStalePresses);
}

HttpqClient::~HttpqClient()
{
    // The transfer, a child, goes after this and must not call back.
    m_transfer->disconnect(this);
    shutDown();
}

HttpqClient::Request HttpqClient::Fetch(const QString &url)
{
    return Request(this, url);
}

void HttpqClient::enqueue(Waiter waiter)
{
    if (m_shutDown) {
        answer(std::move(waiter), std::nullopt, true);
        return;
    }
    m_waiting.push_back(std::move(waiter));
    startNext();
    if (m_line && !m_waiting.empty() && !m_staleCheck.isActive())
        m_staleCheck.start(m_line->pressWaitMs());
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
        if (const PlayerLine::Press *press = next.press(); press && press->isDropped()) {
            answer(std::move(next), std::nullopt, true);
            continue;
        }
        m_current = std::move(next);
        if (!m_transfer->startFetch(m_current->url))
            answer(*std::exchange(m_current, std::nullopt), std::nullopt);
    }
    m_starting = false;
}

void HttpqClient::dropStalePresses()
{
    if (!m_line)
        return;
    const int limit = m_line->pressWaitMs();
    qint64 nextCheck = -1;
    for (auto it = m_waiting.begin(); it != m_waiting.end();) {
        PlayerLine::Press *press = it->press();
        const qint64 waited = it->since.elapsed();
        if (press && waited >= limit) {
            Waiter stale = std::move(*it);
            it = m_waiting.erase(it);
            press->drop();
            answer(std::move(stale), std::nullopt, true);
            continue;
        }
        if (waited < limit)
            nextCheck = nextCheck < 0 ? limit - waited : std::min(nextCheck, limit - waited);
        ++it;
    }
    if (nextCheck >= 0)
        m_staleCheck.start(int(nextCheck));
}

void HttpqClient::onFetchEnded(const std::optional<QString> &text)
{
    if (m_current)
        answer(*std::exchange(m_current, std::nullopt), text);
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
    // Its request goes on, unanswered; the next one waits for its end.
    if (m_current && m_current->request == request)
        m_current->request = nullptr;
}

bool HttpqClient::StartGet(const QString &url)
{
    if (m_shutDown || IsBusy())
        return false;
    return m_transfer->startGet(url);
}

QString HttpqClient::ReadChunk(int size)
{
    return m_transfer->readChunk(size);
}

bool HttpqClient::IsBusy() const
{
    return m_transfer->isBusy() || !m_waiting.empty();
}

void HttpqClient::Cancel()
{
    // The waiting requests fail with the one under way, in their order, and
    // none of them starts on the way.
    std::deque<Waiter> waiting;
    waiting.swap(m_waiting);
    std::optional<Waiter> current = std::exchange(m_current, std::nullopt);
    m_transfer->cancel();
    if (current)
        answer(std::move(*current), std::nullopt, true);
    for (Waiter &waiter : waiting)
        answer(std::move(waiter), std::nullopt, true);
}

void HttpqClient::shutDown()
{
    m_shutDown = true;
    m_staleCheck.stop();
    std::deque<Waiter> waiters;
    if (m_current)
        waiters.push_back(*std::exchange(m_current, std::nullopt));
    for (std::deque<Waiter> *line : {&m_answered, &m_waiting}) {
        std::move(line->begin(), line->end(), std::back_inserter(waiters));
        line->clear();
    }
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
