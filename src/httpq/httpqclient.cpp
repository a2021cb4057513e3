#include "httpqclient.h"

#include "inettransfer.h"
#include "settings.h"

QString HttpqClient::BuildUrl(QStringView command, QStringView argument)
{
    return formHttpqUrl({gHttpqServer, gHttpqPort, gHttpqPasswd}, command, argument);
}

HttpqClient::HttpqClient(const QString &channelName, QObject *owner)
    : QObject(owner)
    , m_transfer(createInetTransfer(channelName, this))
{
    setObjectName(channelName);
    connect(m_transfer, &InetTransfer::stateChanged, this, [this](int state) {
        if (state == InetTransfer::kResponseCompleted)
            emit ResponseCompleted();
    });
    connect(m_transfer, &InetTransfer::fetchEnded, this, &HttpqClient::onFetchEnded);
    connect(m_transfer, &InetTransfer::requestEnded, this, &HttpqClient::startNext);
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
        answer(std::move(waiter), std::nullopt);
        return;
    }
    m_waiting.push_back(std::move(waiter));
    startNext();
}

void HttpqClient::startNext()
{
    // A transfer that ends at once calls back into here: the loop below
    // goes on with the next request.
    if (m_starting)
        return;
    m_starting = true;
    while (!m_shutDown && !m_current && !m_waiting.empty() && !m_transfer->isBusy()) {
        m_current = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!m_transfer->startFetch(m_current->url))
            answer(*std::exchange(m_current, std::nullopt), std::nullopt);
    }
    m_starting = false;
}

void HttpqClient::onFetchEnded(const std::optional<QString> &text)
{
    if (m_current)
        answer(*std::exchange(m_current, std::nullopt), text);
}

void HttpqClient::answer(Waiter waiter, const std::optional<QString> &text)
{
    // Its coroutine was destroyed meanwhile.
    if (!waiter.request)
        return;
    waiter.request->m_answer = text;
    m_answered.push_back(std::move(waiter));
    // Not from here: this may be deep inside the transfer's or another
    // handler's code, which the coroutine must not run inside of.
    QMetaObject::invokeMethod(this, &HttpqClient::resumeNext, Qt::QueuedConnection);
}

void HttpqClient::resumeNext()
{
    if (m_answered.empty())
        return;
    const Waiter waiter = std::move(m_answered.front());
    m_answered.pop_front();
    waiter.request->m_registered = false;
    if (m_shutDown || !waiter.promise->chainAlive())
        waiter.promise->destroyChain();
    else
        waiter.frame.resume();
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
    m_transfer->cancel();
    if (m_current)
        answer(*std::exchange(m_current, std::nullopt), std::nullopt);
    for (Waiter &waiter : waiting)
        answer(std::move(waiter), std::nullopt);
}

void HttpqClient::shutDown()
{
    m_shutDown = true;
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
    for (const Waiter &waiter : waiters) {
        if (!waiter.request)
            continue;
        waiter.request->m_registered = false;
        waiter.promise->destroyChain();
    }
}

void HttpqClient::setRequestTimeout(int ms)
{
    m_transfer->setRequestTimeout(ms);
}
