#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

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

} // namespace
