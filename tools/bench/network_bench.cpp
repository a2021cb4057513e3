// Presses against a player far away: the whole program in direct mode (the
// bar, the playlist window and the media controls) over the real transport,
// against the simulator answering each request after 0.2 to 2.5 s. It hangs
// for 20 s at three tenths of the run and sleeps for 60 s at six tenths.
// Meanwhile a press is made every 1.5 to 3 s, from a window chosen at random:
// the face, a double-click in the playlist (shuffle is on, so it is framed by
// shuffle off and on) or the media controls.
//
// It prints the presses made, those sent whole, those dropped before their
// first request left, those half-sent (a step that changed the player left
// neither done nor put back: must be 0), those put back, how often the
// player was shown gone while it answered (must be 0), and how long after the
// player's first answer following the hang and the sleep a press was served.

#include "bench_report.h"
#include "core/face/bar_keys.h"
#include "core/face/face_logic.h"
#include "core/mpris/mpris_logic.h"
#include "core/settings/settings_store.h"
#include "desktop/mpris/mprisbridge.h"
#include "httpqsimulator.h"
#include "platform/widgets/formtimer.h"
#include "services/httpq/playerline.h"
#include "windows/bar/frm_quendra.h"
#include "windows/playlist/frm_quendraplaylist.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDBusConnection>
#include <QElapsedTimer>
#include <QFile>
#include <QListView>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <optional>
#include <vector>

namespace {

struct Heard
{
    qint64 ms;
    QByteArray command;
};

// The commands of presses, as the simulator heard them ("shuffle&a=0").
std::optional<QByteArray> pressCommand(const QByteArray &line)
{
    static const QByteArrayList commands = {"play", "pause",   "stop",           "fadeoutandstop", "next",
                                            "prev", "shuffle", "setplaylistpos", "jumptotime"};
    const qsizetype slash = line.indexOf('/'), mark = line.indexOf('?');
    if (slash < 0 || mark < slash)
        return std::nullopt;
    const QByteArray command = line.mid(slash + 1, mark - slash - 1);
    if (!commands.contains(command))
        return std::nullopt;
    const qsizetype argument = line.indexOf("&a=", mark);
    return argument < 0 ? command : command + line.mid(argument, line.indexOf(' ', argument) - argument);
}

// What the double-clicks did, as the player heard them: each runs from
// shuffle off to shuffle on, the song chosen and played between, or the
// position it changed put back.
struct Frames
{
    int whole = 0;
    int putBack = 0;
    int halfSent = 0;
};

Frames readFrames(const std::vector<Heard> &heard)
{
    Frames frames;
    bool open = false, played = false, moved = false, movedBack = false;
    for (const Heard &request : heard) {
        const QByteArray &command = request.command;
        if (command == "shuffle&a=0") {
            if (open)
                ++frames.halfSent;
            open = true;
            played = moved = movedBack = false;
        } else if (command == "shuffle&a=1" && open) {
            open = false;
            if (played)
                ++frames.whole;
            else if (!moved || movedBack)
                ++frames.putBack;
            else
                ++frames.halfSent;
        } else if (open && command.startsWith("setplaylistpos")) {
            (played || moved ? movedBack : moved) = true;
        } else if (open && command == "play") {
            played = true;
        } else if (open) {
            // Another press inside a double-click's frame.
            ++frames.halfSent;
        }
    }
    // Still open at the end: shuffle left off.
    if (open)
        ++frames.halfSent;
    return frames;
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("network-bench"));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Presses against a player far away."));
    parser.addHelpOption();
    parser.addOptions({
        {QStringLiteral("seconds"), QStringLiteral("How long the run lasts (600)."), QStringLiteral("S"),
         QStringLiteral("600")},
        {QStringLiteral("seed"), QStringLiteral("The random presses' seed (1)."), QStringLiteral("N"),
         QStringLiteral("1")},
    });
    parser.process(app);
    bool ok = false;
    const int seconds = parser.value(QStringLiteral("seconds")).toInt(&ok);
    if (!ok || seconds < 120)
        fail(QStringLiteral("--seconds wants a number from 120 up"));
    QRandomGenerator random(parser.value(QStringLiteral("seed")).toUInt());

    HttpqSimulator player({.password = QStringLiteral("bench"), .delayMs = 200, .delaySpreadMs = 2300});
    HttpqPlayerState state = player.state();
    state.titles = HttpqSimulator::generatedTitles(40);
    state.shuffle = true;
    state.playState = HttpqPlayerState::Playing;
    player.setState(state);
    if (!player.listen(QHostAddress::LocalHost, 0))
        fail(QStringLiteral("the simulator cannot listen"));
    QElapsedTimer clock;
    clock.start();
    std::vector<Heard> heard;
    QObject::connect(&player, &HttpqSimulator::requestReceived, [&](const QByteArray &line) {
        if (const std::optional<QByteArray> command = pressCommand(line))
            heard.push_back({clock.elapsed(), *command});
    });

    QTemporaryDir folder;
    QFile ini(folder.filePath(QStringLiteral("Quendra.ini")));
    if (!folder.isValid() || !ini.open(QIODevice::WriteOnly)
        || ini.write(QStringLiteral("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=127.0.0.1\r\nHTTPQ_PORT=%1\r\n"
                                    "HTTPQ_PASSWD=bench\r\n[PLAYLIST]\r\nVISIBLE=1\r\n")
                         .arg(player.serverPort())
                         .toLatin1())
            < 0)
        fail(QStringLiteral("cannot write the settings"));
    ini.close();
    setSettingsFolder(folder.path());

    frm_Quendra bar;
    bar.Form_Load();
    // The media controls without a bus: their methods are called as the bus would.
    MprisBridge media(bar, QDBusConnection(QStringLiteral("no bus")));
    PlayerLine *line = bar.playerLine();

    const qint64 hangAt = seconds * 300LL, hangEnd = hangAt + 20'000;
    const qint64 sleepAt = seconds * 600LL, wake = sleepAt + 60'000;
    const auto playerSilent = [&](qint64 at) {
        // Until the first answer after it: a reply takes up to 2.5 s.
        return (at >= hangAt && at < hangEnd + 2500) || (at >= sleepAt && at < wake + 2500);
    };

    int made = 0, started = 0, dropped = 0, goneWhileAnswering = 0;
    QObject::connect(line, &PlayerLine::pressEnded, [&](bool wasStarted) { ++(wasStarted ? started : dropped); });
    // At the player's first answer after the hang and the sleep, a press at
    // once: how long until the player hears it.
    std::vector<std::pair<qint64, qint64>> returns;
    std::optional<qint64> pressedAtReturn;
    QObject::connect(line, &PlayerLine::reachableChanged, [&](bool reachable) {
        const qint64 now = clock.elapsed();
        if (!reachable) {
            goneWhileAnswering += !playerSilent(now);
            return;
        }
        if (now < hangAt)
            return;
        ++made;
        pressedAtReturn = now;
        const QPointF at = barButtonCentre(BarButton::Play);
        bar.picQuendraDirect_MouseDown(Qt::LeftButton, float(at.x()), float(at.y()));
    });
    QObject::connect(&player, &HttpqSimulator::requestReceived, [&](const QByteArray &request) {
        if (pressedAtReturn && pressCommand(request) == QByteArray("play")) {
            returns.emplace_back(*pressedAtReturn, clock.elapsed());
            pressedAtReturn.reset();
        }
    });

    QTimer presser;
    presser.setSingleShot(true);
    QObject::connect(&presser, &QTimer::timeout, [&] {
        presser.start(1500 + int(random.bounded(1500)));
        ++made;
        switch (random.bounded(3)) {
        case 0: {
            static constexpr BarButton kFace[] = {BarButton::Play, BarButton::Next, BarButton::Previous,
                                                  BarButton::Pause, BarButton::Stop};
            const QPointF at = barButtonCentre(kFace[random.bounded(int(std::size(kFace)))]);
            bar.picQuendraDirect_MouseDown(Qt::LeftButton, float(at.x()), float(at.y()));
            break;
        }
        case 1: {
            QListView *list = bar.playlistWindow()->listPlayList;
            list->setCurrentIndex(list->model()->index(int(random.bounded(40)), 0));
            bar.playlistWindow()->listPlayList_DblClick();
            break;
        }
        default: {
            static constexpr MprisMethod kMedia[] = {MprisMethod::Next, MprisMethod::Previous, MprisMethod::Stop,
                                                     MprisMethod::PlayPause};
            media.transport(kMedia[random.bounded(int(std::size(kMedia)))]);
            break;
        }
        }
    });
    presser.start(3000);
    QTimer::singleShot(int(hangAt), [&] { player.hang(20'000); });
    QTimer::singleShot(int(sleepAt), [&] { player.sleep(60'000); });
    QTimer::singleShot(seconds * 1000, [&] {
        presser.stop();
        // The presses still under way end; the player answers them.
        QTimer::singleShot(30'000, &app, &QCoreApplication::quit);
    });
    const double cpuStart = processCpuSeconds();
    QApplication::exec();

    // Single presses are whole once sent; a double-click is whole when its
    // song was played inside its frame.
    const Frames frames = readFrames(heard);
    const int frameCount = frames.whole + frames.putBack + frames.halfSent;
    say(QStringLiteral("run %1 s, hang 20 s at %2 s, sleep 60 s at %3 s, answers after 0.2-2.5 s")
            .arg(seconds)
            .arg(hangAt / 1000)
            .arg(sleepAt / 1000));
    say(QStringLiteral("presses made          %1").arg(made));
    say(QStringLiteral("sent whole            %1").arg(started - frameCount + frames.whole));
    say(QStringLiteral("dropped before start  %1").arg(dropped));
    say(QStringLiteral("half-sent             %1   (must be 0)").arg(frames.halfSent));
    say(QStringLiteral("put back              %1").arg(frames.putBack));
    say(QStringLiteral("shown gone while the player answered  %1   (must be 0)").arg(goneWhileAnswering));
    for (const auto &[pressed, heardAt] : returns)
        say(QStringLiteral("back at %1 s: a press at the first answer reached the player %2 ms later")
                .arg(double(pressed) / 1000, 0, 'f', 1)
                .arg(heardAt - pressed));
    say(QStringLiteral("shuffle at the end    %1").arg(player.state().shuffle ? u"on" : u"off"));
    say(QStringLiteral("cpu %1 %, peak %2 MB")
            .arg((processCpuSeconds() - cpuStart) / (double(clock.elapsed()) / 1000) * 100, 0, 'f', 2)
            .arg(peakRssMegabytes(), 0, 'f', 1));
    return frames.halfSent == 0 && goneWhileAnswering == 0 && player.state().shuffle ? 0 : 1;
}
