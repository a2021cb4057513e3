#include "platform/transport/qtinettransfer.h"

#include "core/text/code_page.h"
#include "core/httpq/httpq_url.h"

#include <QNetworkProxy>
#include <QPointer>
#include <QTcpSocket>
#include <QUrl>

#ifdef Q_OS_LINUX
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace {

// The most Qt reads from a connection at once: with the answers' bounds it
// keeps a request's memory small whatever the server sends.
constexpr qint64 kReadPieceBytes = 64 * 1024;

} // namespace

QtInetTransfer::QtInetTransfer(QObject *parent)
    : InetTransfer(parent)
{
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(false); });
}

QtInetTransfer::~QtInetTransfer()
{
    dropSocket();
}

bool QtInetTransfer::begin(const QString &url, qsizetype maxBody, HttpReplyReader::Overflow overflow)
{
    if (m_socket)
        return false;
    const QUrl target = QUrl::fromEncoded(wireUrl(url), QUrl::TolerantMode);
    if (!target.isValid() || target.scheme() != u"http" || target.host().isEmpty())
        return false;

    QByteArray path = target.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty())
        path = "/";
    const QByteArray host = target
                                .toEncoded(QUrl::RemoveScheme | QUrl::RemovePath | QUrl::RemoveQuery
                                           | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                .mid(2);
    m_request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
    m_reply.emplace(maxBody, overflow);

    m_socket = new QTcpSocket(this);
    m_socket->setProxy(QNetworkProxy::NoProxy);
    m_socket->setReadBufferSize(kReadPieceBytes);
    connect(m_socket, &QTcpSocket::connected, this, &QtInetTransfer::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &QtInetTransfer::onReadyRead);
    connect(m_socket, &QTcpSocket::disconnected, this, &QtInetTransfer::onDisconnected);
    connect(m_socket, &QTcpSocket::errorOccurred, this, &QtInetTransfer::onError);
    // The limit counts from the start and is never restarted: a server that
    // drips its answer cannot hold the channel longer than a silent one.
    m_deadline.start(requestTimeout());
    m_socket->connectToHost(target.host(), quint16(target.port(80)));
    return true;
}

bool QtInetTransfer::startFetch(const QString &url)
{
    if (!begin(url, kMaxAnswerBytes, HttpReplyReader::Overflow::Cut))
        return false;
    m_fetching = true;
    return true;
}

bool QtInetTransfer::startGet(const QString &url)
{
    if (!begin(url, kMaxBodyBytes, HttpReplyReader::Overflow::Fail))
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

void QtInetTransfer::onConnected()
{
#ifdef Q_OS_LINUX
    m_peekFd = ::fcntl(int(m_socket->socketDescriptor()), F_DUPFD_CLOEXEC, 0);
#endif
    m_socket->write(m_request);
}

void QtInetTransfer::onReadyRead()
{
    while (m_socket && m_socket->bytesAvailable() > 0) {
        // Sized to what is there: read(kReadPieceBytes) would allocate the whole piece each time.
        const QByteArray piece = m_socket->read(qMin(m_socket->bytesAvailable(), kReadPieceBytes));
        const HttpReplyReader::State state = m_reply->feed(piece);
        if (state != HttpReplyReader::State::Reading) {
            finish(state == HttpReplyReader::State::Complete);
            return;
        }
    }
}

void QtInetTransfer::onDisconnected()
{
    onReadyRead();
    if (!m_socket)
        return;
    // Only the server's orderly close ends a body; after a reset it is cut off.
    finish(closedInOrder() && m_reply->close() == HttpReplyReader::State::Complete);
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

// Qt reads a reset (ECONNRESET) as an end of file and closes its descriptor;
// the kernel's state of the connection, through our second descriptor, tells
// them apart: waiting for our close after the server's FIN, or closed by a reset.
bool QtInetTransfer::closedInOrder() const
{
#ifdef Q_OS_LINUX
    tcp_info info{};
    socklen_t size = sizeof info;
    if (m_peekFd >= 0 && ::getsockopt(m_peekFd, IPPROTO_TCP, TCP_INFO, &info, &size) == 0)
        return info.tcpi_state != TCP_CLOSE;
#endif
    return true;
}

void QtInetTransfer::finish(bool complete)
{
    if (!m_socket)
        return;
    m_deadline.stop();
    dropSocket();

    std::optional<QString> text;
    if (complete)
        text = decodeBody(m_reply->takeBody());
    m_reply.reset();

    // The ends' handlers may delete the transfer.
    const QPointer<QtInetTransfer> self(this);
    if (std::exchange(m_fetching, false)) {
        emit fetchEnded(text);
    } else if (text) {
        m_answer = std::move(*text);
        m_readPos = 0;
        emit stateChanged(kResponseCompleted);
    }
    if (self)
        emit requestEnded();
}

void QtInetTransfer::dropSocket()
{
#ifdef Q_OS_LINUX
    if (m_peekFd >= 0)
        ::close(std::exchange(m_peekFd, -1));
#endif
    if (!m_socket)
        return;
    QTcpSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

namespace {
InetTransferFactory g_factory;
}

InetTransfer *createInetTransfer(const QString &name, QObject *owner)
{
    InetTransfer *transfer = g_factory ? g_factory(name, owner) : new QtInetTransfer(owner);
    transfer->setObjectName(name);
    return transfer;
}

void setInetTransferFactory(InetTransferFactory factory)
{
    g_factory = std::move(factory);
}
