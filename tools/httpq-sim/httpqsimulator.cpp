#include "httpqsimulator.h"

#include "httpquery.h"

#include "core/text/code_page.h"

#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <optional>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

using namespace httpquery;

namespace {

constexpr int kVolumeStep = 4;

const QByteArray &versionBody()
{
    static const QByteArray body = QByteArrayLiteral("httpQ 3.1");
    return body;
}

const QByteArray &errorBody()
{
    static const QByteArray body = QByteArrayLiteral("0");
    return body;
}

const QByteArray &okBody()
{
    static const QByteArray body = QByteArrayLiteral("1");
    return body;
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

// Advances a playing state to the wall clock: at the end of a title the next
// one starts; past the last the player stops, or wraps with repeat on.
void advance(HttpqPlayerState &state, qint64 &originMs, qint64 nowMs)
{
    if (state.playState != HttpqPlayerState::Playing || state.titles.isEmpty())
        return;
    for (;;) {
        const qint64 lengthMs = HttpqSimulator::titleLengthSeconds(state.position) * 1000LL;
        if (nowMs - originMs < lengthMs)
            return;
        originMs += lengthMs;
        if (state.position + 1 < state.titles.size()) {
            ++state.position;
        } else if (state.repeat) {
            state.position = 0;
        } else {
            state.playState = HttpqPlayerState::Stopped;
            state.outputTimeMs = 0;
            return;
        }
    }
}

} // namespace

struct HttpqSimulator::Connection
{
    QByteArray buffer;
    bool done = false;
};

HttpqSimulator::HttpqSimulator(const HttpqSimOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_server(new QTcpServer(this))
{
    m_state.titles = generatedTitles(25);
    m_clock.start();
    // The benchmark opens connections faster than the default backlog drains.
    m_server->setListenBacklogSize(256);
    connect(m_server, &QTcpServer::newConnection, this, &HttpqSimulator::onNewConnection);
    m_hangEnd.setSingleShot(true);
    connect(&m_hangEnd, &QTimer::timeout, this, &HttpqSimulator::endHang);
    m_wake.setSingleShot(true);
    connect(&m_wake, &QTimer::timeout, this, &HttpqSimulator::wake);
}

HttpqSimulator::~HttpqSimulator() = default;

bool HttpqSimulator::listen(const QHostAddress &address, quint16 port)
{
    if (!m_server->listen(address, port))
        return false;
    m_address = m_server->serverAddress();
    m_port = m_server->serverPort();
    return true;
}

void HttpqSimulator::hang(int ms)
{
    m_hangEnd.start(std::max(0, ms));
}

void HttpqSimulator::endHang()
{
    for (auto &[socket, target] : std::exchange(m_held, {})) {
        if (socket)
            respondLater(socket, target);
    }
}

void HttpqSimulator::sleep(int ms)
{
    if (!isAsleep()) {
        // Gone from the network as it was: what was held dies with it.
        m_held.clear();
        close();
    }
    m_wake.start(std::max(0, ms));
}

void HttpqSimulator::wake()
{
    // The port may still be taken for a moment by the last connections.
    if (!m_server->listen(m_address, m_port))
        m_wake.start(100);
}

void HttpqSimulator::close()
{
    m_server->close();
    const auto sockets = m_server->findChildren<QTcpSocket *>(Qt::FindDirectChildrenOnly);
    for (QTcpSocket *socket : sockets) {
        socket->abort();
        socket->deleteLater();
    }
}

bool HttpqSimulator::isListening() const
{
    return m_server->isListening();
}

quint16 HttpqSimulator::serverPort() const
{
    return m_server->serverPort();
}

QHostAddress HttpqSimulator::serverAddress() const
{
    return m_server->serverAddress();
}

QString HttpqSimulator::errorString() const
{
    return m_server->errorString();
}

HttpqPlayerState HttpqSimulator::state() const
{
    HttpqPlayerState current = m_state;
    qint64 origin = m_originMs;
    const qint64 now = m_clock.elapsed();
    advance(current, origin, now);
    if (current.playState == HttpqPlayerState::Playing)
        current.outputTimeMs = now - origin;
    return current;
}

void HttpqSimulator::setState(const HttpqPlayerState &state)
{
    m_state = state;
    m_state.position = m_state.titles.isEmpty() ? 0 : qBound(0, m_state.position, int(m_state.titles.size()) - 1);
    m_state.volume = qBound(0, m_state.volume, 255);
    setOutputTime(state.outputTimeMs);
}

QStringList HttpqSimulator::generatedTitles(int count)
{
    // Slots for titles that show whether the encoding comes through: Latin-1
    // letters, an en dash (0x96 in Windows-1252) and Cyrillic (not in it at all).
    static const QList<std::pair<int, QString>> special = {
        {1, QStringLiteral("Björk - Jóga")},           {3, QStringLiteral("Motörhead - Ace of Spades")},
        {6, QStringLiteral("Sigur Rós - Hoppípolla")}, {10, QStringLiteral("Beyoncé – Halo")},
        {15, QStringLiteral("Кино - Группа крови")},
    };
    QStringList titles;
    titles.reserve(qMax(0, count));
    for (int i = 0; i < count; ++i) {
        QString title = QStringLiteral("Artist %1 - Song Title %1").arg(i + 1);
        for (const auto &[index, text] : special) {
            if (index == i)
                title = text;
        }
        titles.append(title);
    }
    return titles;
}

QByteArray HttpqSimulator::encodeText(const QString &text, HttpqSimOptions::Encoding encoding)
{
    if (encoding == HttpqSimOptions::Encoding::Utf8)
        return text.toUtf8();
    QByteArray out;
    const QList<uint> codePoints = text.toUcs4();
    out.reserve(codePoints.size());
    for (uint ucs : codePoints)
        out += toCp1252(char32_t(ucs)).value_or('?');
    return out;
}

QByteArray HttpqSimulator::passwordBytes(const QString &password, HttpqSimOptions::Encoding encoding)
{
    if (encoding == HttpqSimOptions::Encoding::Utf8)
        return password.toUtf8();
    QByteArray out;
    for (uint ucs : password.toUcs4()) {
        if (const std::optional<char> byte = toCp1252(char32_t(ucs)))
            out += *byte;
        else
            out += QString::fromUcs4(reinterpret_cast<const char32_t *>(&ucs), 1).toUtf8();
    }
    return out;
}

int HttpqSimulator::titleLengthSeconds(int index)
{
    return 150 + (index * 53) % 181;
}

int HttpqSimulator::titleSampleRateKhz(int index)
{
    return index % 6 == 5 ? 48 : 44;
}

int HttpqSimulator::titleBitrateKbps(int index)
{
    static constexpr int kRates[] = {128, 192, 320, 256, 160, 96};
    return kRates[index % 6];
}

int HttpqSimulator::titleChannels(int index)
{
    return index % 4 == 3 ? 1 : 2;
}

QByteArray HttpqSimulator::answer(const QByteArray &target)
{
    const qsizetype mark = target.indexOf('?');
    const QByteArray path = mark < 0 ? target : target.left(mark);
    const QByteArray query = mark < 0 ? QByteArray() : target.mid(mark + 1);
    if (path == "/")
        return versionBody();

    const QByteArray password = queryValue(query, QByteArrayLiteral("p")).value_or(QByteArray());
    if (password != passwordBytes(m_options.password, m_options.encoding))
        return errorBody();

    advanceClock();
    const std::optional<QByteArray> argument = queryValue(query, QByteArrayLiteral("a"));
    const std::optional<int> index = decimal(argument);
    const QByteArray command = path.mid(1);
    const int count = int(m_state.titles.size());
    const bool haveTitle = count > 0;
    using State = HttpqPlayerState;

    if (command == "play") {
        if (haveTitle) {
            m_state.playState = State::Playing;
            setOutputTime(0);
        }
        return okBody();
    }
    if (command == "pause") {
        if (m_state.playState == State::Playing) {
            const qint64 now = m_clock.elapsed() - m_originMs;
            m_state.playState = State::Paused;
            setOutputTime(now);
        } else if (m_state.playState == State::Paused) {
            m_state.playState = State::Playing;
            setOutputTime(m_state.outputTimeMs);
        }
        return okBody();
    }
    if (command == "stop" || command == "fadeoutandstop") {
        m_state.playState = State::Stopped;
        setOutputTime(0);
        return okBody();
    }
    if (command == "next" || command == "prev") {
        if (haveTitle)
            moveTo((m_state.position + (command == "next" ? 1 : count - 1)) % count);
        return okBody();
    }
    if (command == "jumptotime") {
        // Milliseconds into the song that plays or is paused; the player
        // answers 1 whether or not a song was there to move in.
        if (!index)
            return errorBody();
        if (haveTitle && m_state.playState != State::Stopped)
            setOutputTime(std::min<qint64>(*index, titleLengthSeconds(m_state.position) * 1000LL));
        return okBody();
    }
    if (command == "volumeup" || command == "volumedown") {
        const int step = command == "volumeup" ? kVolumeStep : -kVolumeStep;
        m_state.volume = qBound(0, m_state.volume + step, 255);
        return okBody();
    }
    if (command == "setvolume") {
        // The level comes by name, not as "a", from 0 to 255.
        const std::optional<int> level = decimal(queryValue(query, QByteArrayLiteral("level")));
        if (!level || *level > 255)
            return errorBody();
        m_state.volume = *level;
        return okBody();
    }
    if (command == "getvolume")
        return number(m_state.volume);
    if (command == "shuffle" || command == "repeat") {
        if (!index || *index > 1)
            return errorBody();
        (command == "shuffle" ? m_state.shuffle : m_state.repeat) = *index == 1;
        return okBody();
    }
    if (command == "shuffle_status")
        return m_state.shuffle ? okBody() : errorBody();
    if (command == "repeat_status")
        return m_state.repeat ? okBody() : errorBody();
    if (command == "isplaying")
        return number(m_state.playState);
    if (command == "getlistpos")
        return number(m_state.position);
    if (command == "getcurrenttitle")
        return haveTitle ? encodeText(m_state.titles.at(m_state.position), m_options.encoding) : QByteArray();
    if (command == "setplaylistpos") {
        if (!index || *index >= count)
            return errorBody();
        moveTo(*index);
        return okBody();
    }
    if (command == "getplaylisttitle") {
        if (argument) {
            if (!index || *index >= count)
                return errorBody();
            return encodeText(m_state.titles.at(*index), m_options.encoding);
        }
        QByteArray all;
        for (const QString &title : std::as_const(m_state.titles))
            all += encodeText(title, m_options.encoding) + QByteArrayLiteral("<br>");
        return all;
    }
    if (command == "getinfo") {
        if (!index || *index > 2 || !haveTitle)
            return errorBody();
        const int pos = m_state.position;
        const int value = *index == 0 ? titleSampleRateKhz(pos)
            : *index == 1             ? titleBitrateKbps(pos)
                                      : titleChannels(pos);
        return number(value);
    }
    if (command == "getoutputtime") {
        if (!index || *index > 1)
            return errorBody();
        // The length is -1 while nothing plays, as the player reports it.
        if (*index == 1)
            return number(haveTitle && m_state.playState != State::Stopped ? titleLengthSeconds(m_state.position) : -1);
        return number(m_state.playState == State::Playing ? m_clock.elapsed() - m_originMs : m_state.outputTimeMs);
    }
    return errorBody();
}

void HttpqSimulator::onNewConnection()
{
    while (QTcpSocket *socket = m_server->nextPendingConnection()) {
        // The connection state dies with the lambda, i.e. with the socket.
        auto connection = std::make_shared<Connection>();
        connect(socket, &QTcpSocket::readyRead, this, [this, socket, connection] { onReadyRead(socket, *connection); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
}

void HttpqSimulator::onReadyRead(QTcpSocket *socket, Connection &connection)
{
    if (connection.done) {
        socket->readAll();
        return;
    }
    // One byte past the limit is enough to know the request does not fit.
    connection.buffer += socket->read(kMaxRequestSize + 1 - connection.buffer.size());
    const qsizetype end = headerEnd(connection.buffer);
    if (end < 0 || end > kMaxRequestSize) {
        if (connection.buffer.size() >= kMaxRequestSize) {
            connection.done = true;
            socket->readAll();
            socket->disconnectFromHost();
        }
        return;
    }
    connection.done = true;
    socket->readAll();

    QByteArray requestLine = connection.buffer.left(connection.buffer.indexOf('\n'));
    if (requestLine.endsWith('\r'))
        requestLine.chop(1);
    connection.buffer.clear();
    ++m_requestsServed;
    emit requestReceived(requestLine);

    // "GET <target> HTTP/x.y"; anything else gets the error answer.
    const QList<QByteArray> parts = requestLine.split(' ');
    const QByteArray target = parts.size() >= 2 && parts.at(0) == "GET" ? parts.at(1) : QByteArray();
    if (m_options.dropPercent > 0 && int(QRandomGenerator::global()->bounded(100)) < m_options.dropPercent) {
        socket->abort();
        socket->deleteLater();
        return;
    }
    if (isHanging()) {
        m_held.emplace_back(socket, target);
        return;
    }
    respondLater(socket, target);
}

void HttpqSimulator::respondLater(QTcpSocket *socket, const QByteArray &target)
{
    int delay = m_options.delayMs;
    if (m_options.delaySpreadMs > 0)
        delay += int(QRandomGenerator::global()->bounded(m_options.delaySpreadMs + 1));
    if (delay > 0)
        QTimer::singleShot(delay, socket, [this, socket, target] { respond(socket, target); });
    else
        respond(socket, target);
}

void HttpqSimulator::respond(QTcpSocket *socket, const QByteArray &target)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;
    switch (m_options.fault) {
    case HttpqSimOptions::Fault::Stall: return;
    case HttpqSimOptions::Fault::Reset: {
        const QByteArray body = answer(target);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->write(headers() + body.left(body.size() / 2));
        socket->flush();
        // A moment for the partial answer to reach the client, then a close
        // with linger 0 so that the kernel sends RST instead of FIN.
        QTimer::singleShot(20, socket, [socket] {
#ifdef Q_OS_UNIX
            const linger hard = {1, 0};
            ::setsockopt(int(socket->socketDescriptor()), SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
#endif
            socket->abort();
            socket->deleteLater();
        });
        return;
    }
    case HttpqSimOptions::Fault::Garbage: {
        QByteArray garbage(kGarbageSize, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(garbage.data()),
                                              garbage.size() / qsizetype(sizeof(quint32)));
        socket->write(headers() + garbage);
        socket->disconnectFromHost();
        return;
    }
    case HttpqSimOptions::Fault::HeaderFlood: {
        QByteArray flood = QByteArrayLiteral("HTTP/1.0 200 OK\r\n");
        const QByteArray line = QByteArrayLiteral("X-Flood: 0123456789abcdef0123456789abcdef\r\n");
        flood.reserve(kGarbageSize);
        while (flood.size() + line.size() <= kGarbageSize)
            flood += line;
        // No blank line ever ends the headers, and the connection stays open.
        socket->write(flood);
        return;
    }
    case HttpqSimOptions::Fault::LongLength: {
        const QByteArray body = answer(target);
        socket->write("HTTP/1.0 200 OK\r\nContent-Length: " + number(body.size() + 100) + "\r\n\r\n" + body);
        socket->disconnectFromHost();
        return;
    }
    case HttpqSimOptions::Fault::None: break;
    }
    if (m_options.dripMs > 0) {
        drip(socket, headers() + answer(target));
        return;
    }
    socket->write(headers() + answer(target));
    // Closes once everything written has gone out: the end of the body.
    socket->disconnectFromHost();
}

void HttpqSimulator::drip(QTcpSocket *socket, const QByteArray &reply)
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    auto *timer = new QTimer(socket);
    auto sent = std::make_shared<qsizetype>(0);
    connect(timer, &QTimer::timeout, socket, [socket, timer, reply, sent] {
        if (*sent >= reply.size()) {
            timer->stop();
            socket->disconnectFromHost();
            return;
        }
        socket->write(reply.mid((*sent)++, 1));
    });
    timer->start(m_options.dripMs);
}

QByteArray HttpqSimulator::headers() const
{
    if (!m_options.sendHeaders)
        return {};
    return QByteArrayLiteral("HTTP/1.0 200 OK\r\n"
                             "Server: httpQ/3.1 (sim)\r\n"
                             "Content-Type: text/html\r\n"
                             "\r\n");
}

void HttpqSimulator::advanceClock()
{
    const qint64 now = m_clock.elapsed();
    advance(m_state, m_originMs, now);
}

void HttpqSimulator::setOutputTime(qint64 outputTimeMs)
{
    m_state.outputTimeMs = outputTimeMs;
    m_originMs = m_clock.elapsed() - outputTimeMs;
}

void HttpqSimulator::moveTo(int position)
{
    m_state.position = position;
    setOutputTime(0);
}
