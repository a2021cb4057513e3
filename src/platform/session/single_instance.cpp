#include "platform/session/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

constexpr QByteArrayView kShow = "show\n";
constexpr QByteArrayView kShown = "ok\n";

enum class Others { Refused, ShutOut };

// The folder open, as a real folder (never through a link) of this user's
// that nobody else may enter. One of ours that only we could ever write to
// may have the others shut out first; one that was open to them may hold
// what they left there, and is not used.
int openPrivateFolder(const QByteArray &path, Others others)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat info = {};
    const bool ours = ::fstat(fd, &info) == 0 && info.st_uid == ::geteuid()
        && (info.st_mode & (others == Others::ShutOut ? 022 : 077)) == 0;
    if (!ours || ((info.st_mode & 077) != 0 && ::fchmod(fd, 0700) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Our own folder, made when missing.
int makePrivateFolder(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    if (::mkdir(local.constData(), 0700) != 0 && errno != EEXIST)
        return -1;
    return openPrivateFolder(local, Others::ShutOut);
}

// The same file reached by other paths (a link, "..") is the same key.
QByteArray keyOf(const QString &settingsPath)
{
    const QFileInfo file(settingsPath);
    QString path = file.canonicalFilePath();
    if (path.isEmpty()) {
        const QString folder = QFileInfo(file.absolutePath()).canonicalFilePath();
        path = folder.isEmpty() ? file.absoluteFilePath() : folder + u'/' + file.fileName();
    }
    return QCryptographicHash::hash(QFile::encodeName(path), QCryptographicHash::Sha256).toHex().left(32);
}

// A name in the folder held open, for the socket calls, which take paths:
// through the process's own handle on the folder, so that the name stays in
// the folder that was checked and stays short whatever the folder's path.
QString entryPath(const QString &folder, int folderFd, const QByteArray &name)
{
    const QString handle = QStringLiteral("/proc/self/fd/%1").arg(folderFd);
    return (QFileInfo(handle).isDir() ? handle : folder) + u'/' + QString::fromLatin1(name);
}

} // namespace

std::optional<QString> SingleInstance::privateFolder()
{
    const auto usable = [](const QString &path) -> std::optional<QString> {
        const int fd = makePrivateFolder(path);
        if (fd < 0)
            return std::nullopt;
        ::close(fd);
        return path;
    };
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && runtime.startsWith('/')) {
        if (const int fd = openPrivateFolder(runtime, Others::Refused); fd >= 0) {
            ::close(fd);
            if (std::optional<QString> folder = usable(QFile::decodeName(runtime) + QStringLiteral("/quendra")))
                return folder;
        }
    }
    if (std::optional<QString> folder = usable(QDir::tempPath() + QStringLiteral("/quendra-%1").arg(::geteuid())))
        return folder;
    // The temporary one taken by someone else (made first, or a link): the
    // user's cache folder, which nobody else can take.
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (cache.isEmpty() || !QDir::isAbsolutePath(cache))
        cache = QDir::homePath() + QStringLiteral("/.cache");
    if (!QDir().mkpath(cache))
        return std::nullopt;
    return usable(cache + QStringLiteral("/quendra"));
}

SingleInstance::SingleInstance(const QString &settingsPath, const std::optional<QString> &folder)
{
    if (!folder)
        return;
    m_folderFd = makePrivateFolder(*folder);
    if (m_folderFd < 0)
        return;
    const QByteArray key = keyOf(settingsPath);
    m_socketPath = entryPath(*folder, m_folderFd, key + ".socket");
    m_lockFd = ::openat(m_folderFd, QByteArray(key + ".lock").constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW,
                        0600);
    if (m_lockFd < 0)
        return;
    // The lock ends with the process, however it ends.
    if (::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        m_second = errno == EWOULDBLOCK;
        ::close(std::exchange(m_lockFd, -1));
    }
}

SingleInstance::~SingleInstance()
{
    if (m_server)
        m_server->close();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
    if (m_folderFd >= 0)
        ::close(m_folderFd);
}

bool SingleInstance::showFirst() const
{
    const QByteArray path = QFile::encodeName(m_socketPath);
    sockaddr_un address = {};
    if (!m_second || std::size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), std::size_t(path.size()));

    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(kAnswerWaitMs);
    // The first copy may hold the lock but not listen yet, or be busy with
    // other connections and close this one unanswered: ask again.
    while (Clock::now() < end) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        // A first copy that takes no connection (its queue full) holds this
        // one no longer than the wait (a limit of zero would be none).
        const auto waited = std::max(std::chrono::duration_cast<std::chrono::microseconds>(end - Clock::now()),
                                     std::chrono::microseconds(1000));
        const timeval limit = {time_t(waited.count() / 1'000'000), suseconds_t(waited.count() % 1'000'000)};
        ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
            && ::send(fd, kShow.data(), std::size_t(kShow.size()), MSG_NOSIGNAL) == kShow.size()) {
            pollfd wait = {fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            char answer[8] = {};
            const bool shown = ::poll(&wait, 1, int(std::max<qint64>(0, left.count()))) == 1
                && ::recv(fd, answer, sizeof answer, 0) == kShown.size()
                && QByteArrayView(answer, kShown.size()) == kShown;
            ::close(fd);
            if (shown)
                return true;
        } else {
            ::close(fd);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

void SingleInstance::listen()
{
    if (m_lockFd < 0 || m_server)
        return;
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a copy that ended without closing it: the lock says
    // that copy is gone.
    QLocalServer::removeServer(m_socketPath);
    if (!m_server->listen(m_socketPath))
        return;
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onConnection);
}

void SingleInstance::onConnection()
{
    while (QLocalSocket *socket = m_server->nextPendingConnection()) {
        // Nothing held beyond one short line, and no longer than a second.
        socket->setReadBufferSize(kMaxLine);
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { readRequest(socket); });
        QTimer::singleShot(kQuietMs, socket, [this, socket] { drop(socket); });
        m_clients.append(socket);
        // A second start sends its line as it connects: it is answered here,
        // before the connections that came with it can push it out.
        socket->waitForReadyRead(0);
    }
    // Many connections at once: the oldest, which had the longest to speak,
    // go first, so that they hold neither memory nor files.
    while (m_clients.size() > kMaxClients)
        drop(m_clients.constFirst());
}

void SingleInstance::readRequest(QLocalSocket *socket)
{
    if (!m_clients.contains(socket))
        return;
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() >= kMaxLine)
            drop(socket);
        return;
    }
    if (socket->readLine(kMaxLine) == kShow) {
        emit showRequested();
        socket->write(kShown.data(), kShown.size());
    }
    m_clients.removeOne(socket);
    socket->disconnectFromServer();
}

void SingleInstance::drop(QLocalSocket *socket)
{
    m_clients.removeOne(socket);
    socket->abort();
    socket->deleteLater();
}
