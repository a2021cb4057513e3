#include <QDir>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <tuple>

#include <csignal>

using namespace Qt::StringLiterals;

namespace {

// The program with no display to reach: what the command line alone answers
// must come before anything needs one. Its exit status, output and errors.
std::tuple<int, QString, QString> run(const QStringList &arguments, const QString &language)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LANGUAGE"_s, language);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    process.setProcessEnvironment(environment);
    process.start(QStringLiteral(QUENDRA_PATH), arguments);
    if (!process.waitForFinished(20000) || process.exitStatus() != QProcess::NormalExit) {
        process.kill();
        process.waitForFinished();
        return {-1, {}, {}};
    }
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(CommandLine, HelpAndVersionPrintAndEndWrongOptionsAreRefusedWithTheUsage)
{
    const QString version = QRegularExpression::escape(QStringLiteral(QUENDRA_VERSION));
    const QString nothing = u"^$"_s;
    // Arguments and language; the exit status, and patterns of what the
    // program prints on its output and on its errors. Qt's own options pass;
    // the wrong one still ends it. The user's language where there is a
    // translation.
    const std::tuple<QStringList, const char *, int, QString, QString> cases[] = {
        {{u"--help"_s}, "en", 0, u"^Usage: quendra \\[options\\]\\n.*httpQ.*--version"_s, nothing},
        {{u"--version"_s}, "en", 0, u"^quendra "_s + version + u"\\n$"_s, nothing},
        {{u"-platform"_s, u"offscreen"_s, u"--version"_s}, "en", 0, u"^quendra "_s, nothing},
        {{u"--bogus"_s},
         "en",
         2,
         nothing,
         u"^quendra: Unknown option 'bogus'\\.\\nUsage: quendra \\[options\\]\\n.*--help"_s},
        {{u"-x"_s, u"--help"_s}, "en", 2, nothing, u"Unknown option 'x'.*Usage:"_s},
        {{u"song.mp3"_s}, "en", 2, nothing, u"^quendra: unexpected argument 'song\\.mp3'\\.\\nUsage:"_s},
        {{u"--help"_s}, "de", 0, u"(?=.*Mediaplayer).*Diese Hilfe zeigen und beenden\\."_s, nothing},
        {{u"song.mp3"_s}, "de", 2, nothing, u"^quendra: unerwartetes Argument 'song\\.mp3'\\."_s},
    };
    for (const auto &[arguments, language, status, out, err] : cases) {
        SCOPED_TRACE(arguments.join(u' ').toStdString() + " in " + language);
        const auto [gotStatus, gotOut, gotErr] = run(arguments, QString::fromLatin1(language));
        EXPECT_EQ(gotStatus, status);
        const auto matches = [](const QString &pattern, const QString &text) {
            return QRegularExpression(pattern, QRegularExpression::DotMatchesEverythingOption).match(text).hasMatch();
        };
        EXPECT_TRUE(matches(out, gotOut)) << gotOut.toStdString();
        EXPECT_TRUE(matches(err, gotErr)) << gotErr.toStdString();
    }
}

// Qt's offscreen platform needs no display at all: the program runs there
// and closes as anywhere (SIGTERM, as the tray menu's Close), saving.
TEST(ProgramStart, OnTheOffscreenPlatformWithoutADisplayItRunsAndClosesWithStatusZero)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    // A copy in a folder of its own keeps its settings beside itself.
    const QString program = folder.filePath(u"quendra"_s);
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUENDRA_PATH), program));
    QFile settings(folder.filePath(u"Quendra.ini"_s));
    ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
    settings.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=1\r\n");
    settings.close();
    ASSERT_TRUE(QDir(folder.path()).mkdir(u"run"_s));
    QFile::setPermissions(folder.filePath(u"run"_s), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"DBUS_SESSION_BUS_ADDRESS"_s})
        environment.remove(name);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    environment.insert(u"XDG_RUNTIME_DIR"_s, folder.filePath(u"run"_s));
    process.setProcessEnvironment(environment);
    process.start(program, {});
    ASSERT_TRUE(process.waitForStarted());
    // The playlist's set-up stores its state once the windows are made.
    const auto saved = [&](const char *key) {
        QFile file(settings.fileName());
        return file.open(QIODevice::ReadOnly) && file.readAll().contains(key);
    };
    for (int wait = 0; wait < 200 && !saved("VISIBLE=") && process.state() == QProcess::Running; ++wait)
        process.waitForFinished(50);
    // Shown on the offscreen screen, and still running a moment later.
    process.waitForFinished(500);
    ASSERT_EQ(process.state(), QProcess::Running) << process.readAllStandardError().toStdString();
    ::kill(pid_t(process.processId()), SIGTERM);
    ASSERT_TRUE(process.waitForFinished(20000));
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
    EXPECT_TRUE(saved("X_STARTUP_POSITION="));
}

} // namespace
