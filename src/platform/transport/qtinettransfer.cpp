#include "platform/transport/qtinettransfer.h"

#include "core/httpq/httpq_url.h"
#include "core/text/code_page.h"

#include <QHostInfo>
#include <QPointer>
#include <QUrl>

#include <cerrno>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The most read from a connection at once: with the answers' bounds it
// keeps a request's memory small whatever the server sends.
constexpr qsizetype kReadPieceBytes = 64 * 1024;
// Pieces read on one wake-up, so that a fast long answer leaves the windows
// their turns.
constexpr int kPiecesPerWake = 4;

} // namespace

QtInetTransfer::QtInetTransfer(QObject *parent)
    : InetTransfer(parent)
{
    m_readable.setEnabled(false);
    m_writable.setEnabled(false);
    connect(&m_readable, &QSocketNotifier::activated, this, &QtInetTransfer::onReadable);
    connect(&m_writable, &QSocketNotifier::activated, this, &QtInetTransfer::onWritable);
    m_deadline.setSingleShot(true);
    connect(&m_deadline, &QTimer::timeout, this, [this] { finish(false); });
}

QtInetTransfer::~QtInetTransfer()
{
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(m_lookupId);
    closeSocket();
}

const QtInetTransfer::Target *QtInetTransfer::target(const QString &url)
{
    for (const Target &known : m_targets) {
        if (!known.request.isEmpty() && known.url == url)
            return &known;
    }
    const QUrl parsed = QUrl::fromEncoded(wireUrl(url), QUrl::TolerantMode);
    if (!parsed.isValid() || parsed.scheme() != u"http" || parsed.host().isEmpty())
        return nullptr;

    QByteArray path = parsed.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment);
    if (path.isEmpty())
        path = "/";
    const QByteArray host = parsed
                                .toEncoded(QUrl::RemoveScheme | QUrl::RemovePath | QUrl::RemoveQuery
                                           | QUrl::RemoveFragment | QUrl::RemoveUserInfo)
                                .mid(2);
    Target &made = m_targets[m_nextTarget];
    m_nextTarget = (m_nextTarget + 1) % m_targets.size();
    made.url = url;
    made.host = parsed.host();
    made.port = quint16(parsed.port(80));
    made.request = "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\nAccept: */*\r\n\r\n";
    return &made;
}

bool QtInetTransfer::begin(const QString &url, qsizetype maxBody, HttpReplyReader::Overflow overflow)
{
    if (m_busy)
        return false;
    const Target *to = target(url);
    if (!to)
        return false;
    m_busy = true;
    ++m_serial;
    m_request = to->request;
    m_sent = 0;
    m_port = to->port;
    m_reply.emplace(maxBody, overflow);
    // The limit counts from the start and is never restarted: a server that
    // drips its answer cannot hold the channel longer than a silent one.
    m_deadline.start(requestTimeout());

    QHostAddress address;
    if (address.setAddress(to->host)) {
        m_addresses = {address};
        m_nextAddress = 0;
        // A connection that fails at once is told from the event loop, as
        // every other end is.
        if (!connectNext()) {
            QMetaObject::invokeMethod(
                this,
                [this, serial = m_serial] {
                    if (serial == m_serial)
                        finish(false);
                },
                Qt::QueuedConnection);
        }
    } else {
        m_lookupId = QHostInfo::lookupHost(to->host, this, &QtInetTransfer::onHostFound);
    }
    return true;
}

void QtInetTransfer::onHostFound(const QHostInfo &info)
{
    if (info.lookupId() != m_lookupId)
        return;
    m_lookupId = -1;
    m_addresses = info.addresses();
    m_nextAddress = 0;
    if (!connectNext())
        finish(false);
}

bool QtInetTransfer::connectNext()
{
    closeSocket();
    while (m_nextAddress < m_addresses.size()) {
        const QHostAddress &address = m_addresses[m_nextAddress++];
        sockaddr_storage storage{};
        socklen_t length = 0;
        if (address.protocol() == QAbstractSocket::IPv4Protocol) {
            auto *in = reinterpret_cast<sockaddr_in *>(&storage);
            in->sin_family = AF_INET;
            in->sin_port = htons(m_port);
            in->sin_addr.s_addr = htonl(address.toIPv4Address());
            length = sizeof *in;
        } else if (address.protocol() == QAbstractSocket::IPv6Protocol) {
            auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
            in6->sin6_family = AF_INET6;
            in6->sin6_port = htons(m_port);
            const Q_IPV6ADDR bytes = address.toIPv6Address();
            std::copy(std::begin(bytes.c), std::end(bytes.c), in6->sin6_addr.s6_addr);
            in6->sin6_scope_id = address.scopeId().toUInt();
            length = sizeof *in6;
        } else {
            continue;
        }
        const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        if (fd < 0)
            continue;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&storage), length) != 0 && errno != EINPROGRESS) {
            ::close(fd);
            continue;
        }
        m_fd = fd;
        m_sent = 0;
        // A near server's connection is often up at once: the request goes
        // now, without waiting a turn of the event loop to hear so.
        const Sending sending = sendRest();
        if (sending == Sending::Failed) {
            closeSocket();
            continue;
        }
        m_connected = sending == Sending::Done || m_sent > 0;
        if (m_connected) {
            m_readable.setSocket(fd);
            m_readable.setEnabled(true);
        }
        if (sending == Sending::Waiting) {
            m_writable.setSocket(fd);
            m_writable.setEnabled(true);
        }
        return true;
    }
    return false;
}

QtInetTransfer::Sending QtInetTransfer::sendRest()
{
    while (m_sent < m_request.size()) {
        const ssize_t sent = ::send(m_fd, m_request.constData() + m_sent, size_t(m_request.size() - m_sent),
                                    MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR)
                continue;
            return errno == EAGAIN || errno == EWOULDBLOCK ? Sending::Waiting : Sending::Failed;
        }
        m_sent += sent;
    }
    return Sending::Done;
}

void QtInetTransfer::onWritable()
{
    if (m_fd < 0)
        return;
    if (!m_connected) {
        int error = 0;
        socklen_t size = sizeof error;
        if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0 || error != 0) {
            // Refused or unreachable there: the server's next address, if any.
            if (!connectNext())
                finish(false);
            return;
        }
        m_connected = true;
        m_readable.setSocket(m_fd);
        m_readable.setEnabled(true);
    }
    switch (sendRest()) {
    case Sending::Done: m_writable.setEnabled(false); break;
    case Sending::Waiting: break;
    case Sending::Failed: finish(false); break;
    }
}

void QtInetTransfer::onReadable()
{
    if (m_fd < 0)
        return;
    if (m_piece.size() != kReadPieceBytes)
        m_piece.resize(kReadPieceBytes);
    for (int pieces = 0; pieces < kPiecesPerWake; ++pieces) {
        const ssize_t got = ::recv(m_fd, m_piece.data(), size_t(m_piece.size()), 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            // A reset (or any other error) cuts the body off.
            if (errno != EAGAIN && errno != EWOULDBLOCK)
                finish(false);
            return;
        }
        // Only the server's orderly close ends a body.
        const HttpReplyReader::State state = got == 0 ? m_reply->close()
                                                      : m_reply->feed(QByteArrayView(m_piece.constData(), got));
        if (state != HttpReplyReader::State::Reading || got == 0) {
            finish(state == HttpReplyReader::State::Complete);
            return;
        }
    }
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
    m_answer = BodyText();
    return true;
}

QString QtInetTransfer::readChunk(int size)
{
    const QString piece = size > 0 ? m_answer.read(size) : QString();
    if (piece.isEmpty())
        m_answer = BodyText();
    return piece;
}

bool QtInetTransfer::isBusy() const
{
    return m_busy;
}

void QtInetTransfer::cancel()
{
    if (m_busy)
        finish(false);
}

void QtInetTransfer::finish(bool complete)
{
    if (!m_busy)
        return;
    m_busy = false;
    m_deadline.stop();
    if (m_lookupId >= 0)
        QHostInfo::abortHostLookup(std::exchange(m_lookupId, -1));
    closeSocket();
    m_addresses.clear();

    // The ends' handlers may delete the transfer.
    const QPointer<QtInetTransfer> self(this);
    if (std::exchange(m_fetching, false)) {
        std::optional<QString> text;
        if (complete)
            text = decodeBody(m_reply->takeBody());
        m_reply.reset();
        emit fetchEnded(text);
    } else if (complete) {
        // A long answer is decoded as it is read, a piece at a time.
        m_answer = BodyText(m_reply->takeBody());
        m_reply.reset();
        emit stateChanged(kResponseCompleted);
    } else {
        m_reply.reset();
    }
    if (self)
        emit requestEnded();
}

void QtInetTransfer::closeSocket()
{
    if (m_fd < 0)
        return;
    m_readable.setEnabled(false);
    m_writable.setEnabled(false);
    ::close(std::exchange(m_fd, -1));
    m_connected = false;
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
