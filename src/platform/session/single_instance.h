#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <optional>

class QLocalServer;
class QLocalSocket;

// One running copy per settings file: two copies on one file would each
// write back their own positions and settings over the other's. What tells
// them apart (a lock and a socket, named after the file) lies in a folder of
// this user's alone, so another user can neither block a start nor send the
// running copy anything. Copies with other settings files run side by side.
class SingleInstance final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(SingleInstance)

public:
    // How long a second start waits for the first to answer (it may be
    // starting itself).
    static constexpr int kAnswerWaitMs = 5000;
    // What the first copy takes from a connection: one line of this many
    // bytes at most, within this long of its start; of this many at once.
    static constexpr qint64 kMaxLine = 4096;
    static constexpr int kQuietMs = 1000;
    static constexpr qsizetype kMaxClients = 8;

    // Takes the lock of this settings file, before the application object
    // exists. Where no private folder can be had, every copy runs.
    explicit SingleInstance(const QString &settingsPath, const std::optional<QString> &folder = privateFolder());
    ~SingleInstance() override;

    // Another copy holds the lock.
    bool isSecond() const { return m_second; }
    // From a second copy: asks the first to show its windows. False when
    // it did not answer in time.
    bool showFirst() const;
    // From the first copy, once the application object exists: waits for
    // the second copies' requests.
    void listen();

    // $XDG_RUNTIME_DIR/quendra, else a folder of this user's in the
    // temporary folder, else (another user took that name first, or made
    // it a link) one in the user's cache folder; nothing when none of them
    // is this user's alone.
    static std::optional<QString> privateFolder();

Q_SIGNALS:
    void showRequested();

private:
    void onConnection();
    void readRequest(QLocalSocket *socket);
    void drop(QLocalSocket *socket);

    QString m_socketPath;
    int m_folderFd = -1;
    int m_lockFd = -1;
    bool m_second = false;
    QLocalServer *m_server = nullptr;
    QList<QLocalSocket *> m_clients;
};
