// A burst of media-control calls against a slow player: the real program in
// direct mode on a private session bus, the simulator answering each request
// after 20 ms, and a client that sends the calls as fast as the bus takes
// them while it reads a property every 20 ms. Prints the slowest property
// read during the burst, the program's peak memory and whether it lives.

#include "bench_report.h"
#include "sim_process.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <csignal>

namespace {

const QString kService = QStringLiteral("org.mpris.MediaPlayer2.quendra");
const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");

// The program's own peak resident memory, from the kernel.
double peakRssOf(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

void stopProcess(QProcess &process)
{
    if (process.state() == QProcess::NotRunning)
        return;
    process.terminate();
    if (!process.waitForFinished(5000))
        process.kill();
    process.waitForFinished(3000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("mpris-burst-bench"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Media-control calls in a burst against a slow player."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("calls"), QStringLiteral("Calls of Next (100000)."), QStringLiteral("N"),
         QStringLiteral("100000")},
        {QStringLiteral("delay"), QStringLiteral("The player's answer delay in ms (20)."), QStringLiteral("MS"),
         QStringLiteral("20")},
        {QStringLiteral("quendra"), QStringLiteral("The program (beside this one)."), QStringLiteral("PATH")},
        {QStringLiteral("sim"), QStringLiteral("httpq-sim (beside this one)."), QStringLiteral("PATH")},
    });
    parser.process(app);
    const QString here = QCoreApplication::applicationDirPath();
    const QString quendra = parser.isSet(QStringLiteral("quendra")) ? parser.value(QStringLiteral("quendra"))
                                                                    : here + QStringLiteral("/quendra");
    const QString simPath = parser.isSet(QStringLiteral("sim")) ? parser.value(QStringLiteral("sim"))
                                                                : here + QStringLiteral("/httpq-sim");
    const int calls = parser.value(QStringLiteral("calls")).toInt();
    const int delayMs = parser.value(QStringLiteral("delay")).toInt();
    if (calls <= 0 || delayMs < 0)
        fail(QStringLiteral("--calls and --delay want numbers"));

    QTemporaryDir scratch;
    if (!scratch.isValid())
        fail(QStringLiteral("no temporary folder"));

    // A session bus of the bench's own.
    QProcess bus;
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"), QStringLiteral("--print-address")});
    if (!bus.waitForReadyRead(10000))
        fail(QStringLiteral("dbus-daemon did not start"));
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();

    SimProcess sim(simPath,
                   {QStringLiteral("--verbose"), QStringLiteral("--delay"), QString::number(delayMs),
                    QStringLiteral("--titles"), QStringLiteral("20")},
                   scratch.filePath(QStringLiteral("sim.log")));
    QString error;
    const quint16 port = sim.start(&error);
    if (port == 0)
        fail(error);

    // A copy of the program in a folder of its own, with its settings beside it.
    const QString appDir = scratch.filePath(QStringLiteral("app"));
    QDir().mkpath(appDir);
    if (!QFile::copy(quendra, appDir + QStringLiteral("/quendra")))
        fail(QStringLiteral("cannot copy %1").arg(quendra));
    QFile ini(appDir + QStringLiteral("/Quendra.ini"));
    if (!ini.open(QIODevice::WriteOnly))
        fail(QStringLiteral("cannot write the settings"));
    ini.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=" + QByteArray::number(port)
              + "\r\n[PLAYLIST]\r\nVISIBLE=0\r\n");
    ini.close();
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), address);
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    program.setProcessEnvironment(environment);
    program.setStandardOutputFile(scratch.filePath(QStringLiteral("quendra.log")));
    program.setStandardErrorFile(scratch.filePath(QStringLiteral("quendra.log")), QIODevice::Append);
    program.start(appDir + QStringLiteral("/quendra"), {});
    if (!program.waitForStarted(10000))
        fail(QStringLiteral("the program did not start"));

    QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("bench"));
    QElapsedTimer waited;
    waited.start();
    while (!client.interface()->isServiceRegistered(kService)) {
        if (waited.elapsed() > 15000 || program.state() == QProcess::NotRunning)
            fail(QStringLiteral("the program did not appear on the bus"));
        QThread::msleep(50);
    }
    say(QStringLiteral("%1 calls of Next against a player answering in %2 ms").arg(calls).arg(delayMs));

    const auto readStatus = [&] {
        QDBusMessage get = QDBusMessage::createMethodCall(
            kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
        get << QStringLiteral("org.mpris.MediaPlayer2.Player") << QStringLiteral("PlaybackStatus");
        QElapsedTimer clock;
        clock.start();
        const QDBusMessage reply = client.call(get, QDBus::Block, 10000);
        return std::pair{clock.nsecsElapsed() / 1e6, reply.type() == QDBusMessage::ReplyMessage};
    };

    // The calls go as fast as the bus takes them, a window of them under way.
    constexpr int kWindow = 500;
    int sent = 0, answered = 0, refused = 0;
    double worstReadMs = 0;
    int reads = 0, failedReads = 0;
    QElapsedTimer burst;
    burst.start();
    QTimer reader;
    QObject::connect(&reader, &QTimer::timeout, [&] {
        const auto [ms, ok] = readStatus();
        worstReadMs = std::max(worstReadMs, ms);
        ++reads;
        failedReads += ok ? 0 : 1;
    });
    reader.start(20);
    std::function<void()> sendMore = [&] {
        while (sent < calls && sent - answered - refused < kWindow) {
            const QDBusMessage next = QDBusMessage::createMethodCall(
                kService, kPath, QStringLiteral("org.mpris.MediaPlayer2.Player"), QStringLiteral("Next"));
            auto *watcher = new QDBusPendingCallWatcher(client.asyncCall(next), &app);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [&, watcher] {
                watcher->isError() ? ++refused : ++answered;
                watcher->deleteLater();
                sendMore();
            });
            ++sent;
        }
    };
    sendMore();
    while ((answered + refused < calls) && burst.elapsed() < 600'000 && program.state() == QProcess::Running)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    const double burstSeconds = burst.elapsed() / 1000.0;
    reader.stop();

    const bool lives = program.state() == QProcess::Running && ::kill(qint64(program.processId()), 0) == 0;
    const auto [lastMs, lastOk] = readStatus();
    const double peak = peakRssOf(program.processId());
    say(QStringLiteral("burst: %1 calls sent, %2 answered, %3 refused by the bus, in %4 s")
            .arg(sent)
            .arg(answered)
            .arg(refused)
            .arg(burstSeconds, 0, 'f', 1));
    say(QStringLiteral("property reads during the burst: %1, worst %2 ms (target under 100 ms), %3 failed")
            .arg(reads)
            .arg(worstReadMs, 0, 'f', 1)
            .arg(failedReads));
    say(QStringLiteral("the player received %1 requests; the program's peak memory %2 MB")
            .arg(sim.requestsSeen())
            .arg(peak, 0, 'f', 1));
    say(QStringLiteral("the program %1; a read after the burst took %2 ms")
            .arg(lives && lastOk ? QStringLiteral("lives and answers") : QStringLiteral("DID NOT SURVIVE"))
            .arg(lastMs, 0, 'f', 1));

    stopProcess(program);
    stopProcess(bus);
    return lives && lastOk ? 0 : 1;
}
