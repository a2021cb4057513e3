// What a huge title costs the bar: the whole bar in direct mode, its polls
// and marquee running, against a scripted channel that answers the title
// with a text of the given size at once (no network). Presses on Play are
// due every half second; the bench reports how long each waited for its
// request, the event loop's longest stall, the CPU share and the peak memory.

#include "bench_report.h"
#include "platform/widgets/formtimer.h"
#include "windows/bar/frm_quendra.h"
#include "platform/transport/inettransfer.h"
#include "core/settings/settings_store.h"
#include "platform/widgets/picturebox.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <sys/resource.h>

namespace {

// The player: every answer at once; the title is a fresh text each time, as
// a real transfer would decode it, and with --changing a different one.
class ScriptedTransfer final : public InetTransfer
{
public:
    struct Script
    {
        QString title;
        bool changing = false;
        int titles = 0;
        QElapsedTimer clock;
        std::vector<qint64> playNs;
    };

    ScriptedTransfer(Script &script, QObject *owner)
        : InetTransfer(owner)
        , m_script(script)
    { }

    bool startFetch(const QString &url) override
    {
        emit fetchEnded(answerFor(url));
        emit requestEnded();
        return true;
    }
    bool startGet(const QString &) override { return false; }
    QString readChunk(int) override { return {}; }
    bool isBusy() const override { return false; }
    void cancel() override { }

private:
    QString answerFor(const QString &url)
    {
        if (url.contains(u"/play?"))
            m_script.playNs.push_back(m_script.clock.nsecsElapsed());
        if (url.contains(u"/getcurrenttitle?")) {
            QString title(m_script.title.constData(), m_script.title.size());
            if (m_script.changing && !title.isEmpty())
                title[0] = QChar(u'A' + m_script.titles % 26);
            ++m_script.titles;
            return title;
        }
        if (url.contains(u"/getoutputtime?"))
            return QStringLiteral("245");
        if (url.contains(u"/getinfo?"))
            return url.endsWith(u"&a=2") ? QStringLiteral("2") : QStringLiteral("44");
        if (url.contains(u"_status?"))
            return QStringLiteral("0");
        return QStringLiteral("1");
    }

    Script &m_script;
};

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("long-title-bench"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("What a huge title costs the bar."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("chars"), QStringLiteral("Characters in the title (10000000)."), QStringLiteral("N"),
         QStringLiteral("10000000")},
        {QStringLiteral("seconds"), QStringLiteral("How long the bar runs (8)."), QStringLiteral("S"),
         QStringLiteral("8")},
        {QStringLiteral("changing"), QStringLiteral("A different title on every answer.")},
    });
    parser.process(app);
    bool ok = false;
    const qsizetype chars = parser.value(QStringLiteral("chars")).toLongLong(&ok);
    if (!ok || chars < 0)
        fail(QStringLiteral("--chars wants a number"));
    const int seconds = parser.value(QStringLiteral("seconds")).toInt(&ok);
    if (!ok || seconds < 2)
        fail(QStringLiteral("--seconds wants a number from 2 up"));

    QTemporaryDir folder;
    if (!folder.isValid())
        fail(QStringLiteral("no temporary folder"));
    QFile ini(folder.filePath(QStringLiteral("Quendra.ini")));
    if (!ini.open(QIODevice::WriteOnly)
        || ini.write("[PLAYLIST]\r\nVISIBLE=0\r\n[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=bench\r\n"
                     "REFRESH=1000\r\n")
            < 0)
        fail(QStringLiteral("cannot write the settings"));
    ini.close();
    setSettingsFolder(folder.path());

    ScriptedTransfer::Script script;
    const QString words = QStringLiteral("Paco de Lucía - Entre Dos Aguas ");
    script.title.reserve(chars);
    while (script.title.size() < chars)
        script.title += words;
    script.title.truncate(chars);
    script.changing = parser.isSet(QStringLiteral("changing"));
    setInetTransferFactory([&script](const QString &, QObject *owner) { return new ScriptedTransfer(script, owner); });

    frm_Quendra bar;
    bar.Form_Load();
    int steps = 0;
    QObject::connect(bar.timDisplaySongtitle, &FormTimer::timeout, [&steps] { ++steps; });

    // Event-loop stalls: how late a 10 ms timer comes.
    QElapsedTimer clock;
    clock.start();
    script.clock.start();
    qint64 lastTick = clock.nsecsElapsed();
    double longestStallMs = 0;
    QTimer stallMeter;
    stallMeter.setTimerType(Qt::PreciseTimer);
    QObject::connect(&stallMeter, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestStallMs = std::max(longestStallMs, double(now - lastTick) / 1e6 - 10);
        lastTick = now;
    });
    stallMeter.start(10);

    // A press on Play every half second from the second second on. A press is
    // due when the user makes it: one that comes during a stall waits for it.
    std::vector<qint64> pressNs;
    qint64 firstPressNs = 0;
    const QPointF play = bar.picQuendraDirect->toPixels({20, 47});
    QTimer presser;
    // A timer skips the times it missed during a stall: every press that has
    // come due since the last one is made now, each with its own due time.
    QObject::connect(&presser, &QTimer::timeout, [&] {
        const auto due = [&] { return firstPressNs + qint64(pressNs.size()) * 500'000'000; };
        // A precise timer may fire a little early.
        while (due() <= script.clock.nsecsElapsed() + 5'000'000) {
            pressNs.push_back(due());
            QCoreApplication::postEvent(bar.picQuendraDirect,
                                        new QMouseEvent(QEvent::MouseButtonPress, play,
                                                        bar.picQuendraDirect->mapToGlobal(play), Qt::LeftButton,
                                                        Qt::LeftButton, Qt::NoModifier));
            QCoreApplication::postEvent(bar.picQuendraDirect,
                                        new QMouseEvent(QEvent::MouseButtonRelease, play,
                                                        bar.picQuendraDirect->mapToGlobal(play), Qt::LeftButton,
                                                        Qt::NoButton, Qt::NoModifier));
        }
    });
    double cpuStart = 0;
    QTimer::singleShot(1000, [&] {
        cpuStart = processCpuSeconds();
        clock.restart();
        lastTick = 0;
        longestStallMs = 0;
        steps = 0;
        firstPressNs = script.clock.nsecsElapsed() + 500'000'000;
        presser.setTimerType(Qt::PreciseTimer);
        presser.start(500);
    });
    // The window ends with the last press; the bar then has a while to answer it.
    double window = 0;
    double cpu = 0;
    int windowSteps = 0;
    double windowStallMs = 0;
    QTimer::singleShot((seconds + 1) * 1000, [&] {
        presser.stop();
        window = double(clock.nsecsElapsed()) / 1e9;
        cpu = (processCpuSeconds() - cpuStart) / window * 100;
        windowSteps = steps;
        windowStallMs = longestStallMs;
        QTimer::singleShot(3000, &app, &QCoreApplication::quit);
    });
    QApplication::exec();

    // Each press sends one /play, in the order of the presses.
    std::vector<double> waits;
    for (size_t i = 0; i < pressNs.size(); ++i)
        waits.push_back(i < script.playNs.size() ? double(script.playNs[i] - pressNs[i]) / 1e6 : -1);
    const bool allAnswered = std::none_of(waits.begin(), waits.end(), [](double w) { return w < 0; });
    const double longestWait = waits.empty() ? 0 : *std::max_element(waits.begin(), waits.end());
    std::printf("%-10lld %-9s %-8.2f %-9.1f %-13s %-15.1f %-11d %.1f\n", static_cast<long long>(chars),
                script.changing ? "changing" : "same", cpu, window,
                allAnswered ? QByteArray::number(longestWait, 'f', 1).constData() : "unanswered", windowStallMs,
                windowSteps, peakRssMegabytes());
    return 0;
}
