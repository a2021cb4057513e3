#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <tuple>

using namespace Qt::StringLiterals;

namespace {

struct ProgramRun
{
    int status = -1;
    QString out;
    QString err;
};

// The program with no display to reach: what the command line alone answers
// must come before anything needs one.
ProgramRun run(const QString &program, const QStringList &arguments, const QString &language = u"en"_s)
{
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"LANGUAGE"_s, language);
    environment.remove(u"DISPLAY"_s);
    environment.remove(u"WAYLAND_DISPLAY"_s);
    environment.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished();
        return {};
    }
    if (process.exitStatus() != QProcess::NormalExit)
        return {};
    return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardOutput()),
            QString::fromLocal8Bit(process.readAllStandardError())};
}

TEST(CommandLine, HelpAndVersionPrintAndEndWrongOptionsAreRefusedWithTheUsage)
{
    const QString version = QStringLiteral(QUENDRA_VERSION);
    // arguments, exit status, standard output, standard error (patterns; empty: nothing)
    const std::tuple<QStringList, int, QString, QString> cases[] = {
        {{u"--help"_s}, 0, u"^Usage: quendra \\[options\\]\\n.*httpQ.*--version"_s, {}},
        {{u"-h"_s}, 0, u"^Usage: quendra \\[options\\]\\n"_s, {}},
        {{u"--version"_s}, 0, u"^quendra "_s + QRegularExpression::escape(version) + u"\\n$"_s, {}},
        // Qt's own options pass; the wrong one still ends it.
        {{u"-platform"_s, u"offscreen"_s, u"--version"_s}, 0, u"^quendra "_s, {}},
        {{u"--bogus"_s}, 2, {}, u"^quendra: Unknown option 'bogus'\\.\\nUsage: quendra \\[options\\]\\n.*--help"_s},
        {{u"-x"_s, u"--help"_s}, 2, {}, u"Unknown option 'x'.*Usage:"_s},
        {{u"song.mp3"_s}, 2, {}, u"^quendra: unexpected argument 'song\\.mp3'\\.\\nUsage:"_s},
    };
    for (const auto &[arguments, status, out, err] : cases) {
        const ProgramRun result = run(QStringLiteral(QUENDRA_PATH), arguments);
        const std::string what = arguments.join(u' ').toStdString();
        EXPECT_EQ(result.status, status) << what << "\n" << result.err.toStdString();
        const QRegularExpression::PatternOption dotAll = QRegularExpression::DotMatchesEverythingOption;
        if (out.isEmpty())
            EXPECT_EQ(result.out, QString()) << what;
        else
            EXPECT_TRUE(QRegularExpression(out, dotAll).match(result.out).hasMatch()) << what << ":\n"
                                                                                      << result.out.toStdString();
        if (err.isEmpty())
            EXPECT_EQ(result.err, QString()) << what;
        else
            EXPECT_TRUE(QRegularExpression(err, dotAll).match(result.err).hasMatch()) << what << ":\n"
                                                                                      << result.err.toStdString();
    }
    // In the user's language, where there is a translation.
    const ProgramRun german = run(QStringLiteral(QUENDRA_PATH), {u"--help"_s}, u"de"_s);
    EXPECT_EQ(german.status, 0);
    EXPECT_TRUE(german.out.contains(u"Diese Hilfe zeigen und beenden."_s)) << german.out.toStdString();
    EXPECT_TRUE(german.out.contains(u"Mediaplayer"_s)) << german.out.toStdString();
    const ProgramRun wrong = run(QStringLiteral(QUENDRA_PATH), {u"song.mp3"_s}, u"de"_s);
    EXPECT_TRUE(wrong.err.startsWith(u"quendra: unerwartetes Argument 'song.mp3'."_s)) << wrong.err.toStdString();
}

} // namespace
