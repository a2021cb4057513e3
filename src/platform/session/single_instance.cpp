#include "platform/session/single_instance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>

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

// A real folder (not a link) of this user's that nobody else may enter.
bool isPrivateFolder(const QByteArray &path)
{
    struct stat info = {};
    return ::lstat(path.constData(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid()
        && (info.st_mode & 077) == 0;
}

std::optional<QString> makePrivateFolder(const QString &path)
{
    const QByteArray local = QFile::encodeName(path);
    if (::mkdir(local.constData(), 0700) != 0 && errno != EEXIST)
        return std::nullopt;
    if (!isPrivateFolder(local))
        return std::nullopt;
    return path;
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

} // namespace

std::optional<QString> SingleInstance::privateFolder()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && isPrivateFolder(runtime)) {
        if (std::optional<QString> folder = makePrivateFolder(QFile::decodeName(runtime) + QStringLiteral("/quendra")))
            return folder;
    }
    return makePrivateFolder(QDir::tempPath() + QStringLiteral("/quendra-%1").arg(::geteuid()));
}

SingleInstance::SingleInstance(const QString &settingsPath, const std::optional<QString> &folder)
{
    if (!folder)
        return;
    const QString base = *folder + u'/' + QString::fromLatin1(keyOf(settingsPath));
    m_socketPath = base + QStringLiteral(".socket");
    const QByteArray lockPath = QFile::encodeName(base + QStringLiteral(".lock"));
    m_lockFd = ::open(lockPath.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
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
    // The first copy may hold the lock but not listen yet.
    while (Clock::now() < end) {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return false;
        if (::connect(fd, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0
            && ::send(fd, kShow.data(), std::size_t(kShow.size()), MSG_NOSIGNAL) == kShow.size()) {
            pollfd wait = {fd, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now());
            char answer[8] = {};
            const bool shown = ::poll(&wait, 1, int(std::max<qint64>(0, left.count()))) == 1
                && ::recv(fd, answer, sizeof answer, 0) == kShown.size()
                && QByteArrayView(answer, kShown.size()) == kShown;
            ::close(fd);
            return shown;
        }
        ::close(fd);
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
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine())
                return;
            if (socket->readLine(64) == kShow) {
                emit showRequested();
                socket->write(kShown.data(), kShown.size());
            }
            socket->disconnectFromServer();
        });
    }
}
