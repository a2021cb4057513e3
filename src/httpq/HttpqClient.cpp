#include "httpq/HttpqClient.h"

#include "platform/InetTransfer.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QPointer>
#include <QTimer>

HttpqClient::HttpqClient(const QString &channelName, QObject *owner)
    : QObject(owner)
    , m_transfer(CreateInetTransfer(channelName, this))
{
    setObjectName(channelName);
    connect(m_transfer, &InetTransfer::stateChanged, this, [this](int state) {
        if (state == InetTransfer::kResponseCompleted)
            emit ResponseCompleted();
    });
}

std::optional<QString> HttpqClient::Fetch(const QString &url)
{
    // A request asked for while the channel's earlier one is under way (a
    // press on the face while a poll waits for a slow player) waits its turn
    // rather than being lost.
    if (m_transfer->isBusy() && !waitForTurn())
        return std::nullopt;
    // Nothing of this object may be touched once the transfer returns.
    return m_transfer->fetch(url);
}

bool HttpqClient::waitForTurn()
{
    const QPointer<HttpqClient> self(this);
    const quint64 cancels = m_cancels;
    // The request under way gives up by then at the latest.
    const QDeadlineTimer deadline(m_transfer->requestTimeout());
    while (m_transfer->isBusy()) {
        QEventLoop loop;
        bool ended = false;
        connect(m_transfer, &InetTransfer::requestEnded, &loop, [&] {
            ended = true;
            loop.quit();
        });
        QTimer::singleShot(deadline.remainingTime(), &loop, &QEventLoop::quit);
        loop.exec();
        // Also woken by the program quitting; a cancel abandons the waiting requests too.
        if (!self || !ended || m_cancels != cancels || deadline.hasExpired())
            return false;
    }
    return true;
}

bool HttpqClient::StartGet(const QString &url)
{
    return m_transfer->startGet(url);
}

QString HttpqClient::ReadChunk(int size)
{
    return m_transfer->readChunk(size);
}

bool HttpqClient::IsBusy() const
{
    return m_transfer->isBusy();
}

void HttpqClient::Cancel()
{
    ++m_cancels;
    m_transfer->cancel();
}

void HttpqClient::setRequestTimeout(int ms)
{
    m_transfer->setRequestTimeout(ms);
}
