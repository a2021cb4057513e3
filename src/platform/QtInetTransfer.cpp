#include "platform/QtInetTransfer.h"

#include "httpq/httpq_url.h"
#include "platform/body_text.h"

#include <QEventLoop>
#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>

namespace {

// Offset of the body: after the header block of a reply with a status line;
// a server set to send no headers sends the body alone. -1 while the header
// block is still arriving.
qsizetype bodyStart(const QByteArray &received)
{
    if (!received.startsWith("HTTP/")) {
        if (received.size() < 5 && QByteArrayView("HTTP/").startsWith(received))
            return -1;
        return 0;
    }
    const qsizetype crlf = received.indexOf("\r\n\r\n");
    const qsizetype lf = received.indexOf("\n\n");
    if (crlf >= 0 && (lf < 0 || crlf < lf))
        return crlf + 4;
    return lf >= 0 ? lf + 2 : -1;
}

// The Content-Length of the header block, or -1 when there is none.
qint64 contentLength(QByteArrayView headers)
{
    for (QByteArrayView line : headers.toByteArray().split('\n')) {
        line = line.trimmed();
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.first(colon).trimmed().compare("Content-Length", Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const qint64 length = line.sliced(colon + 1).trimmed().toLongLong(&ok);
            return ok && length >= 0 ? length : -1;
        }
    }
    return -1;
}

} // namespace

struct QtInetTransfer::Wait
{
    QEventLoop loop;
    std::optional<QString> result;
    bool finished = false;
};

QtInetTransfer::QtInetTransfer(QObject *parent)
    : InetTransfer(parent)
{
    m_silence.setSingleShot(true);
    connect(&m_silence, &QTimer::timeout, this, [this] { finish(false); });
}

QtInetTransfer::~QtInetTransfer()
{
    // A fetch waiting on this transfer finds it gone when its loop returns.
    if (m_wait)
        m_wait->loop.quit();
    dropSocket();
}

bool QtInetTransfer::begin(const QString &url)
{
    if (m_socket)
        return false;
    const QUrl target = QUrl::fromEncoded(WireUrl(url), QUrl::TolerantMode);
    if (!target.isValid() || target.scheme() != u"http" || target.host().isEmpty())
        return false;

    QByteArray path = target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty())
        path = "/";
    const QByteArray host = target.toEncoded(QUrl::RemoveScheme | QUrl::RemovePath | QUrl::RemoveQuery
                                             | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                .mid(2);
    m_request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
    m_received.clear();

    m_socket = new QTcpSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    connect(m_socket, &QTcpSocket::connected, this, [this] { m_socket->write(m_request); });
    connect(m_socket, &QTcpSocket::readyRead, this, &QtInetTransfer::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &QtInetTransfer::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &QtInetTransfer::onError);
    m_silence.start(requestTimeout());
    m_socket->connectToHost(target.host(), quint16(target.port(80)));
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
        m_silence.stop();
        dropSocket();
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
    return m_socket != nullptr;
}

void QtInetTransfer::cancel()
{
    if (m_socket)
        finish(false);
}

void QtInetTransfer::onReadyRead()
{
    if (!m_socket)
        return;
    m_received += m_socket->readAll();
    if (m_received.size() > kMaxBodyBytes) {
        finish(false);
        return;
    }
    // "Without an answer" means silent: every piece that arrives restarts the clock.
    m_silence.start(requestTimeout());
    if (haveWholeAnswer())
        finish(true);
}

void QtInetTransfer::onDisconnected()
{
    if (!m_socket)
        return;
    m_received += m_socket->readAll();
    // The end of the connection is the end of the body.
    finish(!m_received.isEmpty() && bodyStart(m_received) >= 0);
}

void QtInetTransfer::onError()
{
    if (!m_socket)
        return;
    if (m_socket->error() == QAbstractSocket::RemoteHostClosedError) {
        onDisconnected();
        return;
    }
    finish(false);
}

bool QtInetTransfer::haveWholeAnswer() const
{
    const qsizetype start = bodyStart(m_received);
    if (start <= 0)
        return false;
    const qint64 length = contentLength(QByteArrayView(m_received).first(start));
    return length >= 0 && m_received.size() - start >= length;
}

void QtInetTransfer::finish(bool complete)
{
    if (!m_socket)
        return;
    m_silence.stop();
    dropSocket();

    std::optional<QString> text;
    if (complete) {
        const qsizetype start = bodyStart(m_received);
        QByteArray body = m_received.mid(start);
        if (start > 0) {
            const qint64 length = contentLength(QByteArrayView(m_received).first(start));
            if (length >= 0 && length < body.size())
                body.truncate(length);
        }
        text = DecodeBody(body);
    }
    m_received = QByteArray();

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

void QtInetTransfer::dropSocket()
{
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}
