#include "httpqsimulator.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QSocketNotifier>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <tuple>

#include <unistd.h>

namespace {

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "%s: %s\n", qPrintable(QCoreApplication::applicationName()), qPrintable(message));
    std::exit(2);
}

int numberOption(const QCommandLineParser &parser, const QString &name, int min, int max)
{
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < min || value > max)
        fail(QStringLiteral("--%1 wants a number from %2 to %3").arg(name).arg(min).arg(max));
    return value;
}

QStringList titlesFromFile(const QString &fileName)
{
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        fail(QStringLiteral("cannot read %1: %2").arg(fileName, file.errorString()));
    QString text = QString::fromUtf8(file.readAll());
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    QStringList titles;
    for (QString line : text.split(u'\n')) {
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (!line.isEmpty())
            titles.append(line);
    }
    return titles;
}

// "MS" or "MIN-MAX": the delay and its random spread.
std::optional<std::pair<int, int>> delayRange(const QString &text)
{
    const QStringList bounds = text.split(u'-');
    if (bounds.size() > 2)
        return std::nullopt;
    bool ok = false, okMax = true;
    const int low = bounds.first().toInt(&ok);
    const int high = bounds.size() == 2 ? bounds.last().toInt(&okMax) : low;
    if (!ok || !okMax || low < 0 || high < low || high > 3'600'000)
        return std::nullopt;
    return std::pair(low, high - low);
}

// One line a command, while it runs: "delay MS[-MS]", "drop PERCENT",
// "hang SECONDS", "sleep SECONDS". Scripts switch the player's ways
// through a pipe on its standard input.
void control(HttpqSimulator &simulator, const QString &line)
{
    const QStringList words = line.simplified().split(u' ', Qt::SkipEmptyParts);
    if (words.size() != 2) {
        if (!words.isEmpty())
            std::fprintf(stderr, "unknown command: %s\n", qPrintable(line));
        return;
    }
    bool ok = false;
    const int value = words[1].toInt(&ok);
    HttpqSimOptions options = simulator.options();
    if (words[0] == u"delay") {
        const std::optional<std::pair<int, int>> range = delayRange(words[1]);
        if (!range) {
            std::fprintf(stderr, "delay wants MS or MIN-MAX\n");
            return;
        }
        std::tie(options.delayMs, options.delaySpreadMs) = *range;
        simulator.setOptions(options);
    } else if (words[0] == u"drop" && ok && value >= 0 && value <= 100) {
        options.dropPercent = value;
        simulator.setOptions(options);
    } else if (words[0] == u"hang" && ok && value >= 0) {
        simulator.hang(value * 1000);
    } else if (words[0] == u"sleep" && ok && value >= 0) {
        simulator.sleep(value * 1000);
    } else {
        std::fprintf(stderr, "unknown command: %s\n", qPrintable(line));
    }
}

// Request lines may hold any bytes; keep the terminal sane.
QByteArray printable(const QByteArray &line)
{
    QByteArray out;
    for (char c : line) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F)
            out += "\\x" + QByteArray::number(byte, 16).rightJustified(2, '0');
        else
            out += c;
    }
    return out;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Named as it was called: httpq-sim in the build tree, quendra-httpq-sim installed.
    QCoreApplication::setApplicationVersion(QStringLiteral(QUENDRA_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("A simulated media player with its httpQ plugin, for trying Quendra "
                       "without the player."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {QStringLiteral("port"), QStringLiteral("Port to listen on (4800); 0 picks a free one."), QStringLiteral("N"),
         QString::number(HttpqSimulator::kDefaultPort)},
        {QStringLiteral("host"), QStringLiteral("Address to listen on (127.0.0.1)."), QStringLiteral("ADDR"),
         QStringLiteral("127.0.0.1")},
        {QStringLiteral("password"), QStringLiteral("Password the commands must carry."), QStringLiteral("P"),
         QString()},
        {QStringLiteral("titles"), QStringLiteral("Number of generated playlist titles (25)."), QStringLiteral("N"),
         QStringLiteral("25")},
        {QStringLiteral("titles-file"), QStringLiteral("UTF-8 file with one playlist title a line."),
         QStringLiteral("FILE")},
        {QStringLiteral("encoding"), QStringLiteral("Encoding of titles and the password: cp1252 (default) or utf8."),
         QStringLiteral("ENC"), QStringLiteral("cp1252")},
        {QStringLiteral("delay"),
         QStringLiteral("Delay before each answer, in milliseconds, or a random one between MIN and MAX."),
         QStringLiteral("MS|MIN-MAX"), QStringLiteral("0")},
        {QStringLiteral("drop"),
         QStringLiteral("Cut this share of connections, in percent, before carrying out their request."),
         QStringLiteral("PERCENT"), QStringLiteral("0")},
        {QStringLiteral("timestamps"),
         QStringLiteral("With --verbose, start each line with the time it came, in ms since 1970.")},
        {QStringLiteral("no-headers"), QStringLiteral("Send the body only, no status line.")},
        {QStringLiteral("verbose"), QStringLiteral("Print each request line received.")},
        {QStringLiteral("fault"),
         QStringLiteral("Misbehave: stall (never answer), reset (half the body, then a connection "
                        "reset), garbage (4 MiB of random bytes), header-flood (4 MiB of header lines, "
                        "connection held open) or long-length (a Content-Length 100 bytes too large)."),
         QStringLiteral("MODE")},
        {QStringLiteral("drip"), QStringLiteral("Send each reply one byte every MS milliseconds, then close."),
         QStringLiteral("MS"), QStringLiteral("0")},
    });
    parser.process(app);
    if (!parser.positionalArguments().isEmpty())
        fail(QStringLiteral("unexpected argument %1").arg(parser.positionalArguments().first()));

    HttpqSimOptions options;
    options.password = parser.value(QStringLiteral("password"));
    const std::optional<std::pair<int, int>> delay = delayRange(parser.value(QStringLiteral("delay")));
    if (!delay)
        fail(QStringLiteral("--delay wants MS or MIN-MAX, from 0 to 3600000"));
    std::tie(options.delayMs, options.delaySpreadMs) = *delay;
    options.dropPercent = numberOption(parser, QStringLiteral("drop"), 0, 100);
    options.dripMs = numberOption(parser, QStringLiteral("drip"), 0, 3'600'000);
    options.sendHeaders = !parser.isSet(QStringLiteral("no-headers"));

    const QString encoding = parser.value(QStringLiteral("encoding")).toLower();
    if (encoding == u"cp1252" || encoding == u"windows-1252")
        options.encoding = HttpqSimOptions::Encoding::Windows1252;
    else if (encoding == u"utf8" || encoding == u"utf-8")
        options.encoding = HttpqSimOptions::Encoding::Utf8;
    else
        fail(QStringLiteral("--encoding wants cp1252 or utf8"));

    if (parser.isSet(QStringLiteral("fault"))) {
        const QString fault = parser.value(QStringLiteral("fault"));
        if (fault == u"stall")
            options.fault = HttpqSimOptions::Fault::Stall;
        else if (fault == u"reset")
            options.fault = HttpqSimOptions::Fault::Reset;
        else if (fault == u"garbage")
            options.fault = HttpqSimOptions::Fault::Garbage;
        else if (fault == u"header-flood")
            options.fault = HttpqSimOptions::Fault::HeaderFlood;
        else if (fault == u"long-length")
            options.fault = HttpqSimOptions::Fault::LongLength;
        else
            fail(QStringLiteral("--fault wants stall, reset, garbage, header-flood or long-length"));
    }

    const QString hostText = parser.value(QStringLiteral("host"));
    QHostAddress host(hostText);
    if (hostText == u"localhost")
        host = QHostAddress::LocalHost;
    else if (host.isNull())
        fail(QStringLiteral("--host wants an IP address, not %1").arg(hostText));
    const auto port = quint16(numberOption(parser, QStringLiteral("port"), 0, 65535));

    HttpqSimulator simulator(options);
    HttpqPlayerState state = simulator.state();
    state.titles = parser.isSet(QStringLiteral("titles-file"))
        ? titlesFromFile(parser.value(QStringLiteral("titles-file")))
        : HttpqSimulator::generatedTitles(numberOption(parser, QStringLiteral("titles"), 0, 1'000'000));
    simulator.setState(state);

    if (parser.isSet(QStringLiteral("verbose"))) {
        const bool timestamps = parser.isSet(QStringLiteral("timestamps"));
        QObject::connect(&simulator, &HttpqSimulator::requestReceived, [timestamps](const QByteArray &line) {
            if (timestamps)
                std::printf("%lld ", static_cast<long long>(QDateTime::currentMSecsSinceEpoch()));
            std::printf("%s\n", printable(line).constData());
            std::fflush(stdout);
        });
    }

    // Commands on standard input switch the player's ways while it runs.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[512];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            input.setEnabled(false);
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0; pending.remove(0, end + 1))
            control(simulator, QString::fromUtf8(pending.left(end)));
        // A line this long is no command.
        if (pending.size() > 4096)
            pending.clear();
    });

    if (!simulator.listen(host, port))
        fail(QStringLiteral("cannot listen on %1:%2: %3").arg(host.toString()).arg(port).arg(simulator.errorString()));
    if (!host.isLoopback())
        std::fprintf(stderr, "%s: warning: reachable from other machines\n",
                     qPrintable(QCoreApplication::applicationName()));
    // Scripts started with --port 0 read the port from this line.
    std::printf("listening on %s:%u\n", host.toString().toLocal8Bit().constData(), unsigned(simulator.serverPort()));
    std::fflush(stdout);

    return app.exec();
}
