#include "httpq/HttpqClient.h"

#include "platform/InetTransfer.h"

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
    // Nothing of this object may be touched once the transfer returns.
    return m_transfer->fetch(url);
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
    m_transfer->cancel();
}

void HttpqClient::setRequestTimeout(int ms)
{
    m_transfer->setRequestTimeout(ms);
}
