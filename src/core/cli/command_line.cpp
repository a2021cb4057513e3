#include "core/cli/command_line.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QStringList>

#include <cstdio>

namespace {

// Options that QGuiApplication and QApplication take out of the command line
// themselves; they must pass here untouched.
void addQtOptions(QCommandLineParser &parser)
{
    const char *const withValue[] = {"platform",        "platformpluginpath",
                                     "platformtheme",   "plugin",
                                     "qwindowgeometry", "qwindowicon",
                                     "qwindowtitle",    "qmljsdebugger",
                                     "session",         "display",
                                     "geometry",        "name",
                                     "title",           "visual",
                                     "style",           "stylesheet"};
    const char *const flags[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    for (const char *name : withValue) {
        QCommandLineOption option(QString::fromLatin1(name), QString(), QStringLiteral("value"));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
    for (const char *name : flags) {
        QCommandLineOption option(QString::fromLatin1(name));
        option.setFlags(QCommandLineOption::HiddenFromHelp);
        parser.addOption(option);
    }
}

void print(std::FILE *stream, const QString &text)
{
    std::fputs(text.toLocal8Bit().constData(), stream);
    std::fflush(stream);
}

struct Reply
{
    int status = 0;
    std::FILE *stream = stdout;
    QString text;
};

// What the command line asks to be printed; nothing when the program is to start.
std::optional<Reply> replyTo(const QStringList &arguments)
{
    const QString program = arguments.isEmpty() ? QStringLiteral("quendra") : QFileInfo(arguments.first()).fileName();

    QCommandLineParser parser;
    // Qt's options are written with one dash (-platform xcb), as X programs' are.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QCoreApplication::translate("CommandLine",
                                    "A remote control for a media player through its httpQ plugin.\n"
                                    "Settings are read from Quendra.ini; see quendra(1)."));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QCoreApplication::translate("CommandLine", "Show this help and exit."));
    const QCommandLineOption version(QStringLiteral("version"),
                                     QCoreApplication::translate("CommandLine", "Show the version and exit."));
    parser.addOption(help);
    parser.addOption(version);
    addQtOptions(parser);

    // Without an application object the parser cannot know the program's name.
    const auto usage = [&] { return parser.helpText().replace(QStringLiteral("<executable_name>"), program); };
    if (!parser.parse(arguments))
        return Reply{2, stderr, program + QStringLiteral(": ") + parser.errorText() + u'\n' + usage()};
    if (!parser.positionalArguments().isEmpty()) {
        const QString message = QCoreApplication::translate("CommandLine", "unexpected argument '%1'.")
                                    .arg(parser.positionalArguments().first());
        return Reply{2, stderr, program + QStringLiteral(": ") + message + u'\n' + usage()};
    }
    if (parser.isSet(help))
        return Reply{0, stdout, usage()};
    if (parser.isSet(version))
        return Reply{0, stdout, QStringLiteral("quendra " QUENDRA_VERSION "\n")};
    return std::nullopt;
}

} // namespace

std::optional<int> handleCommandLine(int argc, char *argv[], const std::function<void()> &installTranslations)
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    std::optional<Reply> reply = replyTo(arguments);
    if (!reply)
        return std::nullopt;
    // Translations, Qt's own among them (the usage, a wrong option), need an
    // application object: one is made only to print, as the program ends,
    // named as the usage names the program.
    QByteArray name = QFileInfo(arguments.value(0, QStringLiteral("quendra"))).fileName().toLocal8Bit();
    char *applicationArgv[] = {name.data(), nullptr};
    int applicationArgc = 1;
    std::optional<QCoreApplication> application;
    if (installTranslations && !QCoreApplication::instance()) {
        application.emplace(applicationArgc, applicationArgv);
        installTranslations();
        reply = replyTo(arguments);
    }
    print(reply->stream, reply->text);
    return reply->status;
}
