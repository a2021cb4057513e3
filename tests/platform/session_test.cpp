#include "platform/session/endofsession.h"
#include "platform/session/single_instance.h"
#include "support/await_task.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <future>

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
    const QString ini = folder.filePath(u"Quendra.ini"_s);
    QDir(folder.path()).mkdir(u"sub"_s);

    SingleInstance first(ini, folder.path());
    EXPECT_FALSE(first.isSecond());
    first.listen();
    // The same file by another path is the same file; another file is not.
    SingleInstance second(folder.filePath(u"sub/../Quendra.ini"_s), folder.path());
    EXPECT_TRUE(second.isSecond());
    EXPECT_FALSE(SingleInstance(folder.filePath(u"Other.ini"_s), folder.path()).isSecond());

    QSignalSpy shown(&first, &SingleInstance::showRequested);
    std::future<bool> asked = std::async(std::launch::async, [&] { return second.showFirst(); });
    EXPECT_TRUE(waitUntil([&] { return asked.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_TRUE(asked.get());
    EXPECT_EQ(shown.size(), 1);
}

// A folder another user made where this user's would be, so as to block
// the start or to reach the running copy, is not used.
TEST(SingleInstance, NoFolderButTheUsersOwn)
{
    QTemporaryDir temporary;
    ASSERT_TRUE(temporary.isValid());
    const QByteArray tmpdir = qgetenv("TMPDIR"), runtime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    qunsetenv("XDG_RUNTIME_DIR");
    const QString expected = temporary.path() + u"/quendra-%1"_s.arg(::geteuid());
    EXPECT_EQ(SingleInstance::privateFolder(), expected);
    EXPECT_EQ(QFileInfo(expected).permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);

    ::chmod(QFile::encodeName(expected).constData(), 0777);
    EXPECT_EQ(SingleInstance::privateFolder(), std::nullopt);
    ::chmod(QFile::encodeName(expected).constData(), 0700);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(QFile::encodeName(expected).constData(), 65534, 65534), 0);
        EXPECT_EQ(SingleInstance::privateFolder(), std::nullopt);
        EXPECT_FALSE(SingleInstance(u"/any/Quendra.ini"_s).isSecond());
    }
    tmpdir.isNull() ? qunsetenv("TMPDIR") : qputenv("TMPDIR", tmpdir);
    if (!runtime.isNull())
        qputenv("XDG_RUNTIME_DIR", runtime);
}

} // namespace
