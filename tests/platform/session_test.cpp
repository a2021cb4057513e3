#include "platform/session/endofsession.h"
#include "platform/session/single_instance.h"
#include "support/await_task.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QLocalSocket>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <algorithm>
#include <csignal>
#include <future>
#include <memory>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

using namespace Qt::StringLiterals;

extern "C" void someoneElsesHandler(int) { }

TEST(EndOfSession, AnIgnoredSignalStaysIgnoredAndEachActionComesBack)
{
    struct sigaction ignore = {}, own = {}, before[2] = {};
    ignore.sa_handler = SIG_IGN;
    own.sa_handler = someoneElsesHandler;
    ::sigaction(SIGHUP, &ignore, &before[0]);
    ::sigaction(SIGINT, &own, &before[1]);
    const auto handlerOf = [](int number) {
        struct sigaction now = {};
        ::sigaction(number, nullptr, &now);
        return now.sa_handler;
    };
    {
        EndOfSession session;
        // As under `nohup`: the closed terminal does not end the program.
        EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
        EXPECT_NE(handlerOf(SIGINT), someoneElsesHandler);
    }
    EXPECT_EQ(handlerOf(SIGHUP), SIG_IGN);
    EXPECT_EQ(handlerOf(SIGINT), someoneElsesHandler);
    ::sigaction(SIGHUP, &before[0], nullptr);
    ::sigaction(SIGINT, &before[1], nullptr);
}

TEST(SingleInstance, OneCopyPerSettingsFileAndTheSecondBringsTheFirstBack)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    ::chmod(QFile::encodeName(folder.path()).constData(), 0700);
    const QString ini = folder.filePath(u"real/Quendra.ini"_s);
    QDir(folder.path()).mkpath(u"real/sub"_s);
    QFile::link(folder.filePath(u"real"_s), folder.filePath(u"linked"_s));

    SingleInstance first(ini, folder.path());
    EXPECT_FALSE(first.isSecond());
    first.listen();
    // The same file by another path is the same file, whether it exists
    // yet or not; another file is not.
    for (const bool exists : {false, true}) {
        if (exists)
            QFile(ini).open(QIODevice::WriteOnly);
        for (const QString &path : {u"real/sub/../Quendra.ini"_s, u"linked/Quendra.ini"_s})
            EXPECT_TRUE(SingleInstance(folder.filePath(path), folder.path()).isSecond()) << path.toStdString();
    }
    EXPECT_FALSE(SingleInstance(folder.filePath(u"real/Other.ini"_s), folder.path()).isSecond());

    SingleInstance second(folder.filePath(u"linked/Quendra.ini"_s), folder.path());
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    std::future<bool> asked = std::async(std::launch::async, [&] { return second.showFirst(); });
    EXPECT_TRUE(waitUntil([&] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(asked.get());
    EXPECT_EQ(shown.size(), 1);
}

int openFiles()
{
    return int(QDir(u"/proc/self/fd"_s).entryList(QDir::Files | QDir::System).size());
}

// Connections to the running copy that say nothing, or never end their line,
// hold nothing of it for long, however many they are; a real second start
// among them is answered.
TEST(SingleInstance, SilentLongAndManyConnectionsNeitherHoldTheFirstNorKeepTheSecondOut)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QString ini = folder.filePath(u"Quendra.ini"_s);
    SingleInstance first(ini, folder.path());
    first.listen();
    QSignalSpy shown(&first, &SingleInstance::showRequested);
    const QString socketPath = [&] {
        const QStringList sockets = QDir(folder.path()).entryList({u"*.socket"_s}, QDir::System);
        return sockets.isEmpty() ? QString() : folder.filePath(sockets.first());
    }();
    ASSERT_FALSE(socketPath.isEmpty());
    const auto connected = [&] {
        auto client = std::make_unique<QLocalSocket>();
        client->connectToServer(socketPath);
        EXPECT_TRUE(client->waitForConnected(1000));
        return client;
    };
    const auto closedByServer = [](const std::vector<std::unique_ptr<QLocalSocket>> &clients) {
        return std::all_of(clients.begin(), clients.end(), [](const auto &client) {
            client->waitForReadyRead(0);
            return client->state() == QLocalSocket::UnconnectedState;
        });
    };

    // A line longer than a few KiB is cut off, not gathered.
    std::vector<std::unique_ptr<QLocalSocket>> talkers;
    talkers.push_back(connected());
    const QByteArray noEnd(64 * 1024, 's');
    talkers.back()->write(noEnd);
    EXPECT_TRUE(waitUntil([&] { return closedByServer(talkers); }, 3000));

    // A flood of silent connections: the first copy keeps a few open at a
    // time, closes each within a second, and answers a real second start.
    constexpr int kFlood = 200;
    const int filesBefore = openFiles();
    std::vector<std::unique_ptr<QLocalSocket>> silent;
    for (int i = 0; i < kFlood; ++i) {
        silent.push_back(connected());
        QCoreApplication::processEvents();
    }
    EXPECT_LE(openFiles() - filesBefore, kFlood + SingleInstance::kMaxClients + 4);
    SingleInstance second(ini, folder.path());
    std::future<bool> asked = std::async(std::launch::async, [&] { return second.showFirst(); });
    EXPECT_TRUE(waitUntil([&] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(asked.get());
    EXPECT_TRUE(waitUntil([&] { return closedByServer(silent); }, 3000));
    EXPECT_EQ(shown.size(), 1);
}

// Where another user made the temporary folder first (open to all, or
// theirs), or made its name a link, the guard goes on in the user's own
// cache folder: never through the link, never unguarded.
TEST(SingleInstance, NoFolderButTheUsersOwn)
{
    QTemporaryDir temporary, cache;
    ASSERT_TRUE(temporary.isValid() && cache.isValid());
    const char *const names[] = {"TMPDIR", "XDG_RUNTIME_DIR", "XDG_CACHE_HOME"};
    QByteArray saved[3];
    for (int i = 0; i < 3; ++i)
        saved[i] = qgetenv(names[i]);
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    qunsetenv("XDG_RUNTIME_DIR");
    qputenv("XDG_CACHE_HOME", QFile::encodeName(cache.path()));
    const QString tmpFolder = temporary.path() + u"/quendra-%1"_s.arg(::geteuid());
    const QString cacheFolder = cache.path() + u"/quendra"_s;
    const QByteArray tmpName = QFile::encodeName(tmpFolder);
    const auto mode = [](const QString &path) { return QFileInfo(path).permissions() & 0777; };

    EXPECT_EQ(SingleInstance::privateFolder(), tmpFolder);
    EXPECT_EQ(mode(tmpFolder) & (QFile::ReadGroup | QFile::ReadOther), 0);
    // Ours, and only ours to write: the others are shut out, and it serves.
    ::chmod(tmpName.constData(), 0755);
    EXPECT_EQ(SingleInstance::privateFolder(), tmpFolder);
    EXPECT_EQ(mode(tmpFolder) & (QFile::ReadGroup | QFile::ReadOther), 0);

    // Open to all: what is in it may be someone else's.
    ::chmod(tmpName.constData(), 0777);
    EXPECT_EQ(SingleInstance::privateFolder(), cacheFolder);
    EXPECT_EQ(mode(cacheFolder) & (QFile::ReadGroup | QFile::ReadOther), 0);
    // A link to a folder of ours is not followed either.
    ASSERT_TRUE(QDir(tmpFolder).removeRecursively());
    QDir().mkpath(temporary.path() + u"/elsewhere"_s);
    QFile::link(temporary.path() + u"/elsewhere"_s, tmpFolder);
    EXPECT_EQ(SingleInstance::privateFolder(), cacheFolder);
    QFile::remove(tmpFolder);
    if (::geteuid() == 0) {
        QDir().mkpath(tmpFolder);
        ::chmod(tmpName.constData(), 0700);
        ASSERT_EQ(::chown(tmpName.constData(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), cacheFolder);
        // None of them the user's alone: every start runs.
        ASSERT_EQ(::chown(QFile::encodeName(cacheFolder).constData(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), std::nullopt);
        EXPECT_FALSE(SingleInstance(u"/any/Quendra.ini"_s).isSecond());
    }
    for (int i = 0; i < 3; ++i)
        saved[i].isNull() ? qunsetenv(names[i]) : qputenv(names[i], saved[i]);
}

} // namespace
