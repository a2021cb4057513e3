#include "platform/QtInetTransfer.h"

#include "httpq/httpq_url.h"
#include "platform/body_text.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

struct QtInetTransfer::Wait
{
    QEventLoop loop;
    std::optional<QString> result;
    bool finished = false;
};

QtInetTransfer::QtInetTransfer(QObject *parent)
    : InetTransfer(parent)
    , m_manager(new QNetworkAccessManager(this))
{
    // The system proxy would make a server on the LAN look down.
    m_manager->setProxy(QNetworkProxy::NoProxy);
    m_manager->setCookieJar(nullptr);
}

QtInetTransfer::~QtInetTransfer()
{
    // A fetch waiting on this transfer finds it gone when its loop returns.
    if (m_wait)
        m_wait->loop.quit();
    dropReply();
}

bool QtInetTransfer::begin(const QString &url)
{
    if (m_reply)
        return false;
    const QUrl target = QUrl::fromEncoded(WireUrl(url), QUrl::TolerantMode);
    if (!target.isValid() || target.scheme() != u"http" || target.host().isEmpty())
        return false;

    QNetworkRequest request(target);
    request.setTransferTimeout(requestTimeout());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    // The server closes after every answer; saying so up front keeps Qt from
    // taking the close for a dropped connection and sending the request again.
    request.setRawHeader("Connection", "close");

    m_body.clear();
    m_tooLarge = false;
    m_reply = m_manager->get(request);
    connect(m_reply, &QNetworkReply::readyRead, this, &QtInetTransfer::onReadyRead);
    connect(m_reply, &QNetworkReply::finished, this, &QtInetTransfer::onFinished);
    return true;
}

std::optional<QString> QtInetTransfer::fetch(const QString &url)
{
    if (!begin(url))
        return std::nullopt;
    Wait wait;
    m_wait = &wait;
    QPointer<QtInetTransfer> self(this);
    wait.loop.exec();
    if (!self)
        return std::nullopt;
    // The loop can end before the answer, when the application quits: the
    // request is abandoned and fails like any other.
    if (!wait.finished && m_wait == &wait) {
        m_wait = nullptr;
        dropReply();
    }
    return std::move(wait.result);
}

bool QtInetTransfer::startGet(const QString &url)
{
    if (!begin(url))
        return false;
    m_answer.clear();
    m_readPos = 0;
    return true;
}

QString QtInetTransfer::readChunk(int size)
{
    if (size <= 0 || m_readPos >= m_answer.size()) {
        m_answer.clear();
        m_readPos = 0;
        return {};
    }
    const QString piece = m_answer.mid(m_readPos, size);
    m_readPos += piece.size();
    return piece;
}

bool QtInetTransfer::isBusy() const
{
    return m_reply != nullptr;
}

void QtInetTransfer::cancel()
{
    // abort() emits finished at once; onFinished ends a waiting fetch.
    if (m_reply)
        m_reply->abort();
}

void QtInetTransfer::onReadyRead()
{
    if (!m_reply || m_tooLarge)
        return;
    m_body += m_reply->readAll();
    if (m_body.size() > kMaxBodyBytes) {
        m_tooLarge = true;
        m_body.clear();
        m_reply->abort();
    }
}

void QtInetTransfer::onFinished()
{
    QNetworkReply *reply = m_reply;
    if (!reply || sender() != reply)
        return;
    if (!m_tooLarge && reply->isOpen())
        m_body += reply->readAll();
    const bool answered = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid();
    const auto error = reply->error();
    const bool ok = answered && !m_tooLarge && error != QNetworkReply::OperationCanceledError
                    && error != QNetworkReply::TimeoutError;
    m_reply = nullptr;
    reply->disconnect(this);
    reply->deleteLater();

    std::optional<QString> text;
    if (ok)
        text = DecodeBody(m_body);
    m_body = QByteArray();

    if (Wait *wait = std::exchange(m_wait, nullptr)) {
        wait->result = std::move(text);
        wait->finished = true;
        wait->loop.quit();
    } else if (text) {
        m_answer = std::move(*text);
        m_readPos = 0;
        emit stateChanged(kResponseCompleted);
    }
}

void QtInetTransfer::dropReply()
{
    if (!m_reply)
        return;
    QNetworkReply *reply = std::exchange(m_reply, nullptr);
    reply->disconnect(this);
    reply->abort();
    delete reply;
}
