#include "desktop/mpris/media_controls.h"
#include "desktop/mpris/mprisbridge.h"
#include "platform/widgets/picturebox.h"
#include "support/sandbox.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>

#include <sys/prctl.h>

using namespace Qt::StringLiterals;

namespace {

const QString kPath = u"/org/mpris/MediaPlayer2"_s;
const QString kRoot = u"org.mpris.MediaPlayer2"_s;
const QString kPlayer = u"org.mpris.MediaPlayer2.Player"_s;
const QString kProperties = u"org.freedesktop.DBus.Properties"_s;

// Records the signals the client sees.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;
    QList<qlonglong> seeks;

public Q_SLOTS:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        EXPECT_EQ(interface, kPlayer);
        changes.append(changed);
    }
    void seeked(qlonglong position) { seeks.append(position); }
};

// A bus value as plain Qt values: nested maps come as QDBusArgument.
QVariant plain(const QVariant &value)
{
    if (value.canConvert<QDBusVariant>())
        return plain(value.value<QDBusVariant>().variant());
    if (value.userType() == qMetaTypeId<QDBusArgument>())
        return qdbus_cast<QVariantMap>(value.value<QDBusArgument>());
    return value;
}

QVariantList set(const char *property, const QVariant &value)
{
    return {kPlayer, QString::fromLatin1(property), QVariant::fromValue(QDBusVariant(value))};
}

QVariantMap metadata(const char *track, const QString &title = {}, qint64 lengthUs = 0, const QString &artist = {})
{
    QVariantMap map{{u"mpris:trackid"_s, QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(track)))}};
    if (!title.isEmpty())
        map.insert(u"xesam:title"_s, title);
    if (!artist.isEmpty())
        map.insert(u"xesam:artist"_s, QStringList{artist});
    if (lengthUs)
        map.insert(u"mpris:length"_s, lengthUs);
    return map;
}

// The bridge between the bar and a session bus of the suite's own, from
// Debian's dbus package, with a client of its own on that bus.
class MprisBus : public WindowTest
{
protected:
    static void SetUpTestSuite()
    {
        const QString daemon = QStandardPaths::findExecutable(u"dbus-daemon"_s);
        if (daemon.isEmpty())
            return;
        s_daemon = std::make_unique<QProcess>();
        // A test that crashes takes its bus with it.
        s_daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        s_daemon->start(daemon, {u"--session"_s, u"--nofork"_s, u"--print-address"_s});
        if (s_daemon->waitForReadyRead(10000))
            s_address = QString::fromUtf8(s_daemon->readLine()).trimmed();
    }
    static void TearDownTestSuite() { s_daemon.reset(); }

    void SetUp() override
    {
        WindowTest::SetUp();
        if (s_address.isEmpty())
            GTEST_SKIP() << "no dbus-daemon to start a private bus";
        m_bar = &start();
        m_bus = QDBusConnection::connectToBus(s_address, u"mpris-test-server"_s);
        m_client = QDBusConnection::connectToBus(s_address, u"mpris-test-client"_s);
        m_bridge = attachMediaControls(*m_bar, m_bus);
        ASSERT_NE(m_bridge, nullptr);
        ASSERT_TRUE(m_client.connect(QString(), kPath, kProperties, u"PropertiesChanged"_s, &m_recorder,
                                     SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        ASSERT_TRUE(m_client.connect(QString(), kPath, kPlayer, u"Seeked"_s, &m_recorder, SLOT(seeked(qlonglong))));
        sent();
    }
    void TearDown() override
    {
        m_bridge.reset();
        m_windows.close();
        QDBusConnection::disconnectFromBus(m_bus.name());
        QDBusConnection::disconnectFromBus(m_client.name());
    }

    QString sentLine() { return sent().join(u", "); }
    QDBusPendingCall callAsync(const QString &interface, const QString &member, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_bridge->serviceName(), kPath, interface, member);
        message.setArguments(arguments);
        return m_client.asyncCall(message);
    }
    static bool finished(const QDBusPendingCall &pending)
    {
        return QTest::qWaitFor([&] { return pending.isFinished(); }, 5000);
    }
    // The bridge's queued work runs before it takes the next call: once a
    // second call is answered, the request of the first has been made, and
    // every signal sent before it has arrived.
    QDBusMessage call(const QString &interface, const QString &member, const QVariantList &arguments = {})
    {
        const QDBusPendingCall pending = callAsync(interface, member, arguments);
        EXPECT_TRUE(finished(pending) && finished(callAsync(kProperties, u"Get"_s, {kRoot, u"Identity"_s})));
        QCoreApplication::processEvents();
        return pending.reply();
    }
    QVariant get(const QString &property)
    {
        return plain(call(kProperties, u"Get"_s, {kPlayer, property}).arguments().value(0));
    }
    QList<QVariantMap> changesSeen()
    {
        call(kProperties, u"Get"_s, {kRoot, u"Identity"_s});
        return std::exchange(m_recorder.changes, {});
    }
    void pollBoth()
    {
        awaitTask(m_bar->timRefreshSongTitle_Timer());
        awaitTask(m_bar->timRefreshStatus_Timer());
    }

    static inline std::unique_ptr<QProcess> s_daemon;
    static inline QString s_address;

    frm_Quendra *m_bar = nullptr;
    QDBusConnection m_bus{QString()};
    QDBusConnection m_client{QString()};
    std::unique_ptr<MprisBridge> m_bridge;
    ChangeRecorder m_recorder;
};

TEST_F(MprisBus, EachMethodSendsTheFacesRequestOrIsRefused)
{
    // The play state the status poll last read; a method of the player, or
    // "Get" or "Set" of a property; the requests it sends, after the error's
    // name for a refused call.
    const QString invalid = u"org.freedesktop.DBus.Error.InvalidArgs"_s;
    const std::tuple<const char *, const char *, QVariantList, QString> cases[] = {
        // "/play" restarts the song and "/pause" toggles.
        {"0", "Play", {}, u"net /play?p="_s},
        {"3", "Play", {}, u"net /pause?p="_s},
        {"1", "Play", {}, u""_s},
        {"1", "Pause", {}, u"net /pause?p="_s},
        {"3", "Pause", {}, u""_s},
        {"1", "PlayPause", {}, u"net /pause?p="_s},
        {"3", "PlayPause", {}, u"net /pause?p="_s},
        {"0", "PlayPause", {}, u"net /play?p="_s},
        // An unknown answer keeps the last known state.
        {"2", "PlayPause", {}, u"net /play?p="_s},
        {"1", "Stop", {}, u"net /stop?p="_s},
        {"1", "Next", {}, u"net /next?p="_s},
        {"1", "Previous", {}, u"net /prev?p="_s},
        // No length read: nothing to seek in.
        {"1", "Seek", {qlonglong(5'000'000)}, u""_s},
        {"1", "Set", set("Rate", 0.0), u"net /pause?p="_s},
        {"1", "Set", set("Shuffle", true), u"net /shuffle?p=&a=1, status /shuffle_status?p="_s},
        {"1", "Set", set("Shuffle", false), u"net /shuffle?p=&a=0, status /shuffle_status?p="_s},
        {"1", "Set", set("LoopStatus", u"Playlist"_s), u"net /repeat?p=&a=1, status /repeat_status?p="_s},
        {"1", "Set", set("LoopStatus", u"Track"_s), u"net /repeat?p=&a=1, status /repeat_status?p="_s},
        {"1", "Set", set("LoopStatus", u"None"_s), u"net /repeat?p=&a=0, status /repeat_status?p="_s},
        {"1", "Set", set("LoopStatus", u"All"_s), u""_s},
        {"1", "Set", set("Shuffle", u"yes"_s), invalid},
        {"1", "Set", set("LoopStatus", true), invalid},
        {"1", "Set", set("Rate", 0), invalid},
        {"1", "Set", set("PlaybackStatus", u"Playing"_s), u"org.freedesktop.DBus.Error.PropertyReadOnly"_s},
        {"1", "Set", set("Loudness", 1.0), u"org.freedesktop.DBus.Error.UnknownProperty"_s},
        {"1", "Get", {u"org.example.None"_s, u"Identity"_s}, u"org.freedesktop.DBus.Error.UnknownInterface"_s},
    };
    for (const auto &[isplaying, member, arguments, requests] : cases) {
        SCOPED_TRACE(testing::Message() << member << ' ' << arguments.value(1).toString().toStdString() << " after "
                                        << isplaying);
        m_answers[u"/isplaying?p="_s] = QString::fromLatin1(isplaying);
        awaitTask(m_bar->timRefreshStatus_Timer());
        changesSeen();
        sent();
        const bool property = !qstrcmp(member, "Set") || !qstrcmp(member, "Get");
        const QDBusMessage reply = call(property ? kProperties : kPlayer, QString::fromLatin1(member), arguments);
        QStringList outcome = sent();
        if (reply.type() != QDBusMessage::ReplyMessage)
            outcome.prepend(reply.errorName());
        EXPECT_EQ(outcome.join(u", "), requests);
    }
    // Get and GetAll answer as before.
    EXPECT_EQ(plain(call(kProperties, u"Get"_s, {kRoot, u"Identity"_s}).arguments().value(0)), u"Quendra"_s);
    const QVariantMap all = qdbus_cast<QVariantMap>(call(kProperties, u"GetAll"_s, {kPlayer}).arguments().value(0));
    EXPECT_EQ(all.value(u"CanGoNext"_s), true);
}

TEST_F(MprisBus, TheBusHasItsAnswerWhileThePlayerIsSlowAndRaiseShowsTheWindows)
{
    // The player holds its answer: a bridge that waited for it before
    // answering the bus would leave the client waiting.
    FakeTransfer *net = m_httpq.transfer(u"NetworkConnection"_s);
    net->hold();
    QDBusPendingCall pending = callAsync(kPlayer, u"Next"_s);
    ASSERT_TRUE(finished(pending));
    EXPECT_FALSE(pending.isError());
    EXPECT_EQ(sentLine(), u"net /next?p=");
    EXPECT_TRUE(net->isBusy());
    net->release();
    // Raise shows the windows.
    m_bar->HideAllWindows();
    call(kRoot, u"Raise"_s);
    EXPECT_TRUE(m_bar->isVisible());
    EXPECT_TRUE(playlist().isVisible());
}

TEST_F(MprisBus, PositionAndLengthReachTheDesktopWhichSeeksWithinTheSong)
{
    // A song started from stopped on the same title: its length comes with
    // the status poll, and its position from the player, moving on.
    m_answers = {{u"/getcurrenttitle?p="_s, u"Artist - Song"_s},
                 {u"/getlistpos?p="_s, u"3"_s},
                 {u"/getoutputtime?p=&a=1"_s, u"-1"_s},
                 {u"/isplaying?p="_s, u"0"_s}};
    pollBoth();
    EXPECT_FALSE(get(u"Metadata"_s).toMap().contains(u"mpris:length"_s));
    EXPECT_EQ(get(u"CanSeek"_s), false);
    changesSeen();
    m_answers[u"/isplaying?p="_s] = u"1"_s;
    m_answers[u"/getoutputtime?p=&a=1"_s] = u"245"_s;
    m_answers[u"/getoutputtime?p=&a=0"_s] = u"61000"_s;
    sent();
    awaitTask(m_bar->timRefreshStatus_Timer());
    // The volume was read at the first answer; the next reading is four answers away.
    EXPECT_EQ(sentLine(), u"status /isplaying?p=, status /getoutputtime?p=&a=1, status /getoutputtime?p=&a=0"_s);
    const QList<QVariantMap> changes = changesSeen();
    ASSERT_EQ(changes.size(), 3);
    EXPECT_EQ(changes[0], (QVariantMap{{u"PlaybackStatus"_s, u"Playing"_s}}));
    EXPECT_EQ(plain(changes[1].value(u"Metadata"_s)).toMap().value(u"mpris:length"_s), qlonglong(245'000'000));
    EXPECT_EQ(changes[2], (QVariantMap{{u"CanSeek"_s, true}}));
    const qlonglong position = get(u"Position"_s).toLongLong();
    EXPECT_GE(position, 61'000'000);
    EXPECT_LT(position, 65'000'000);
    EXPECT_TRUE(QTest::qWaitFor([&] { return get(u"Position"_s).toLongLong() > position; }, 2000));

    // Paused at 61 s: each seek jumps within the song, and says where to.
    m_answers[u"/isplaying?p="_s] = u"3"_s;
    awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_EQ(get(u"CanSeek"_s), true);
    sent();
    const QString track = u"/org/quendra/Quendra/Track/3"_s;
    const std::tuple<const char *, QVariantList, qint64> seeks[] = {
        {"Seek", {qlonglong(5'000'000)}, 66'000},
        {"Seek", {std::numeric_limits<qlonglong>::max()}, 245'000},
        {"Seek", {qlonglong(-9'000'000)}, 236'000},
        {"Seek", {qlonglong(-300'000'000)}, 0},
        {"Seek", {std::numeric_limits<qlonglong>::min()}, 0},
        {"SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(10'000'500)}, 10'000},
        {"SetPosition", {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(300'000'000)}, 245'000},
        {"SetPosition", {QVariant::fromValue(QDBusObjectPath(u"/org/quendra/Quendra/Track/4"_s)), qlonglong(1)}, -1},
    };
    for (const auto &[member, arguments, ms] : seeks) {
        SCOPED_TRACE(testing::Message() << member << ' ' << arguments.last().toLongLong());
        m_answers[u"/jumptotime?p=&a=%1"_s.arg(ms)] = u"1"_s;
        m_recorder.seeks.clear();
        EXPECT_EQ(call(kPlayer, QString::fromLatin1(member), arguments).type(), QDBusMessage::ReplyMessage);
        if (ms < 0) {
            EXPECT_EQ(sentLine(), QString());
            continue;
        }
        EXPECT_EQ(sentLine(), u"net /jumptotime?p=&a=%1"_s.arg(ms));
        changesSeen();
        EXPECT_EQ(m_recorder.seeks, QList<qlonglong>{ms * 1000});
        EXPECT_EQ(get(u"Position"_s).toLongLong(), ms * 1000);
    }

    // A seek the player refused, or never answered, moved nothing: the
    // desktop hears of none.
    m_answers[u"/jumptotime?p=&a=20000"_s] = u"0"_s;
    for (int refusedOrSilent = 0; refusedOrSilent < 2; ++refusedOrSilent) {
        if (refusedOrSilent)
            m_answers.remove(u"/jumptotime?p=&a=20000"_s);
        m_recorder.seeks.clear();
        call(kPlayer, u"SetPosition"_s, {QVariant::fromValue(QDBusObjectPath(track)), qlonglong(20'000'000)});
        EXPECT_EQ(sentLine(), u"net /jumptotime?p=&a=20000"_s);
        changesSeen();
        EXPECT_TRUE(m_recorder.seeks.isEmpty()) << m_recorder.seeks.size();
        EXPECT_EQ(get(u"Position"_s).toLongLong(), 245'000'000);
    }

    // Playing again, a position past the song's end is its end.
    m_answers[u"/isplaying?p="_s] = u"1"_s;
    m_answers[u"/getoutputtime?p=&a=0"_s] = u"999000"_s;
    awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_EQ(get(u"Position"_s).toLongLong(), 245'000'000);
    // A song of unknown length far beyond what microseconds can carry: the
    // position is held below their bound, and moves on from there.
    m_answers[u"/getcurrenttitle?p="_s] = u"Endless"_s;
    m_answers[u"/getoutputtime?p=&a=1"_s] = u"-1"_s;
    m_answers[u"/getoutputtime?p=&a=0"_s] = u"9007199254740993000"_s;
    pollBoth();
    const qlonglong far = get(u"Position"_s).toLongLong();
    EXPECT_GT(far, std::numeric_limits<qlonglong>::max() / 2);
    EXPECT_LE(far, std::numeric_limits<qlonglong>::max());
    // Stopped, there is nothing to seek in.
    m_answers[u"/isplaying?p="_s] = u"0"_s;
    awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_EQ(get(u"CanSeek"_s), false);
    sent();
    call(kPlayer, u"Seek"_s, {qlonglong(1'000'000)});
    EXPECT_EQ(sentLine(), QString());
}

TEST_F(MprisBus, APollThatSeesAChangeSendsOneSignalAndAnUnchangedOneNone)
{
    // Both polls have read a song, 245 s long, at list position 3, playing.
    const QMap<QString, std::optional<QString>> before = {{u"/getcurrenttitle?p="_s, u"Artist - Song"_s},
                                                          {u"/getlistpos?p="_s, u"3"_s},
                                                          {u"/getoutputtime?p=&a=1"_s, u"245"_s},
                                                          {u"/shuffle_status?p="_s, u"0"_s},
                                                          {u"/repeat_status?p="_s, u"0"_s},
                                                          {u"/isplaying?p="_s, u"1"_s}};
    // The answer that changes, the poll that reads it, the property and its new value.
    const std::tuple<const char *, const char *, async::Task<> (*)(frm_Quendra &), QString, QVariant> cases[] = {
        {"/getcurrenttitle?p=", "Other - Tune", [](frm_Quendra &bar) { return bar.timRefreshSongTitle_Timer(); },
         u"Metadata"_s, metadata("/org/quendra/Quendra/Track/3", u"Tune"_s, 245'000'000, u"Other"_s)},
        {"/isplaying?p=", "3", [](frm_Quendra &bar) { return bar.timRefreshStatus_Timer(); }, u"PlaybackStatus"_s,
         u"Paused"_s},
        {"/shuffle_status?p=", "1", [](frm_Quendra &bar) { return bar.ShuffleCheck(); }, u"Shuffle"_s, true},
        {"/repeat_status?p=", "1", [](frm_Quendra &bar) { return bar.LoopCheck(); }, u"LoopStatus"_s, u"Playlist"_s},
    };
    for (const auto &[command, answer, poll, property, value] : cases) {
        SCOPED_TRACE(property.toStdString());
        m_answers = before;
        pollBoth();
        changesSeen();
        m_answers[QString::fromLatin1(command)] = QString::fromLatin1(answer);
        awaitTask(poll(*m_bar));
        const QList<QVariantMap> changes = changesSeen();
        ASSERT_EQ(changes.size(), 1);
        EXPECT_EQ(changes[0].keys(), QStringList{property});
        EXPECT_EQ(plain(changes[0].first()), value);
        // Reading a property asks the player nothing.
        sent();
        EXPECT_EQ(get(property), value);
        EXPECT_EQ(sentLine(), QString());
        poll(*m_bar);
        EXPECT_EQ(changesSeen().size(), 0);
    }

    // Reads that another check cancels, or that the player does not answer,
    // tell the desktop nothing: repeat and the song stay as last answered.
    m_answers = before;
    m_answers[u"/repeat_status?p="_s] = u"1"_s;
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    changesSeen();
    FakeTransfer *status = m_httpq.transfer(u"InetStatusCheck"_s);
    status->hold();
    async::Task<> loop = m_bar->LoopCheck();
    async::Task<> shuffle = m_bar->ShuffleCheck();
    status->release();
    awaitTask(std::move(loop));
    awaitTask(std::move(shuffle));
    EXPECT_TRUE(m_bar->picLoopStatus->isVisibleTo(m_bar));
    m_answers.clear();
    awaitTask(m_bar->timRefreshSongTitle_Timer());
    EXPECT_FALSE(m_bar->picLoopStatus->isVisibleTo(m_bar));
    EXPECT_EQ(changesSeen().size(), 0);
    EXPECT_EQ(get(u"LoopStatus"_s), u"Playlist"_s);
}

TEST_F(MprisBus, VolumeIsThePlayersAndASetItDidNotTakeIsAnError)
{
    // The status poll reads the player's volume, and tells the desktop once.
    m_answers = {{u"/isplaying?p="_s, u"1"_s}, {u"/getvolume?p="_s, u"200"_s}};
    awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_EQ(changesSeen(), (QList<QVariantMap>{{{u"PlaybackStatus"_s, u"Playing"_s}}, {{u"Volume"_s, 200 / 255.0}}}));
    EXPECT_EQ(get(u"Volume"_s), 200 / 255.0);
    // A change made at the player shows within five answers, which read it once.
    m_answers[u"/getvolume?p="_s] = u"100"_s;
    sent();
    for (int i = 0; i < 5; ++i)
        awaitTask(m_bar->timRefreshStatus_Timer());
    EXPECT_EQ(sent().count(u"status /getvolume?p="_s), 1);
    EXPECT_EQ(get(u"Volume"_s), 100 / 255.0);

    // A Set is answered once the player took the level; the volume then is
    // the one the player reads back, or where it cannot say, the one it took.
    const std::tuple<double, const char *, std::optional<QString>, QString, double> cases[] = {
        {0.3, "1", u"77"_s, QString(), 77 / 255.0},
        {0.5, "1", u"127"_s, QString(), 127 / 255.0},
        {2.0, "1", std::nullopt, QString(), 1.0},
        {-1.0, "0", u"0"_s, u"org.freedesktop.DBus.Error.Failed"_s, 1.0},
        {0.1, nullptr, u"26"_s, u"org.freedesktop.DBus.Error.Failed"_s, 1.0},
    };
    for (const auto &[volume, took, reads, error, after] : cases) {
        SCOPED_TRACE(volume);
        const int level = std::clamp(qRound(volume * 255), 0, 255);
        if (took)
            m_answers[u"/setvolume?p=&level=%1"_s.arg(level)] = QString::fromLatin1(took);
        m_answers[u"/getvolume?p="_s] = reads;
        sent();
        const QDBusMessage reply = call(kProperties, u"Set"_s, set("Volume", volume));
        EXPECT_EQ(reply.type() == QDBusMessage::ErrorMessage ? reply.errorName() : QString(), error);
        EXPECT_EQ(sent().value(0), u"net /setvolume?p=&level=%1"_s.arg(level));
        EXPECT_EQ(get(u"Volume"_s), after);
    }
    const QDBusMessage wrongType = call(kProperties, u"Set"_s, set("Volume", u"loud"_s));
    EXPECT_EQ(wrongType.errorName(), u"org.freedesktop.DBus.Error.InvalidArgs"_s);
}

TEST_F(MprisBus, WhileThePlayerIsGoneNothingPlaysNorCanBeControlledButTheVolumeStays)
{
    m_answers = {
        {u"/getcurrenttitle?p="_s, u"Artist - Song"_s}, {u"/isplaying?p="_s, u"1"_s}, {u"/getvolume?p="_s, u"90"_s}};
    pollBoth();
    EXPECT_EQ(get(u"PlaybackStatus"_s), u"Playing"_s);
    changesSeen();

    m_bar->playerLine()->setLostMs(50);
    m_answers.clear();
    awaitTask(m_bar->timRefreshStatus_Timer());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_bar->playerReachable(); }, 5000));
    const QVariantMap gone = changesSeen().value(0);
    for (const QString &can : {u"CanGoNext"_s, u"CanGoPrevious"_s, u"CanPlay"_s, u"CanPause"_s}) {
        EXPECT_EQ(gone.value(can), false) << can.toStdString();
        EXPECT_EQ(get(can), false) << can.toStdString();
    }
    // The play state the polls last read was playing; gone, nothing plays.
    EXPECT_EQ(gone.value(u"PlaybackStatus"_s), u"Stopped"_s);
    EXPECT_EQ(get(u"PlaybackStatus"_s), u"Stopped"_s);
    EXPECT_EQ(get(u"CanControl"_s), true);
    EXPECT_EQ(get(u"CanSeek"_s), false);
    // A Set the player can never receive is refused, unsent, and the volume
    // is the last one the player said.
    sent();
    const QDBusMessage reply = call(kProperties, u"Set"_s, set("Volume", 0.3));
    EXPECT_EQ(reply.errorName(), u"org.freedesktop.DBus.Error.Failed"_s);
    EXPECT_EQ(sent().filter(u"volume"_s), QStringList());
    EXPECT_EQ(get(u"Volume"_s), 90 / 255.0);

    m_answers = {{u"/isplaying?p="_s, u"1"_s}};
    awaitTask(m_bar->timRefreshStatus_Timer());
    ASSERT_TRUE(m_bar->playerReachable());
    const QVariantMap back = changesSeen().value(0);
    EXPECT_EQ(back.value(u"CanGoNext"_s), true);
    EXPECT_EQ(back.value(u"PlaybackStatus"_s), u"Playing"_s);
}

TEST_F(MprisBus, ASecondCopyTakesAnInstanceNameAndWebControlModeNone)
{
    QDBusConnection other = QDBusConnection::connectToBus(s_address, u"mpris-test-second"_s);
    std::unique_ptr<MprisBridge> second = attachMediaControls(*m_bar, other);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(m_bridge->serviceName(), u"org.mpris.MediaPlayer2.quendra");
    EXPECT_EQ(second->serviceName(),
              u"org.mpris.MediaPlayer2.quendra.instance%1"_s.arg(QCoreApplication::applicationPid()));
    second.reset();
    QDBusConnection::disconnectFromBus(other.name());

    m_bridge.reset();
    gQuendraType = u"HTTPQ"_s;
    EXPECT_EQ(attachMediaControls(*m_bar, m_bus), nullptr);
    EXPECT_FALSE(m_client.interface()->isServiceRegistered(u"org.mpris.MediaPlayer2.quendra"_s).value());
}

QStringList g_messages;

TEST_F(WindowTest, WithoutASessionBusThereIsNoBridgeAndNoMessage)
{
    frm_Quendra &bar = start();
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quendra-test-bus");
    g_messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(
        [](QtMsgType, const QMessageLogContext &, const QString &text) { g_messages.append(text); });
    const std::unique_ptr<MprisBridge> bridge = attachMediaControls(bar);
    qInstallMessageHandler(previous);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    EXPECT_EQ(bridge, nullptr);
    EXPECT_EQ(g_messages, QStringList());
}

TEST(MprisLogic, MetadataTitleLengthAndTrackId)
{
    // The player's -1 for "nothing plays" is no length, not a negative one.
    EXPECT_EQ(mprisMetadata(u"A - B"_s, 0, -1), metadata("/org/quendra/Quendra/Track/0", u"B"_s, 0, u"A"_s));
    EXPECT_EQ(mprisMetadata(QString(), 4, 200), metadata("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
    // A path with a minus sign could not be sent at all.
    EXPECT_EQ(mprisMetadata(u"A"_s, -2, 0), metadata("/org/mpris/MediaPlayer2/TrackList/NoTrack", u"A"_s));
    EXPECT_EQ(mprisMetadata(QString::fromUtf16(u"A\0B", 3), 1, 0), metadata("/org/quendra/Quendra/Track/1", u"AB"_s));
}

} // namespace

#include "mpris_test.moc"
