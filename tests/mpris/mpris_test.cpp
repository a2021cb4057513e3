#include "bar/frm_Quendra.h"
#include "mpris/MprisBridge.h"
#include "mpris/mpris_logic.h"
#include "platform/FormTimer.h"
#include "playlist/frm_QuendraPlaylist.h"
#include "settings/Settings.h"
#include "support/FakeTransfer.h"
#include "support/Sandbox.h"

#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMap>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>

#include <csignal>
#include <memory>

#include <sys/prctl.h>

namespace {

const QString kPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kRoot = QStringLiteral("org.mpris.MediaPlayer2");
const QString kPlayer = QStringLiteral("org.mpris.MediaPlayer2.Player");
const QString kProperties = QStringLiteral("org.freedesktop.DBus.Properties");
const QString kServer = QStringLiteral("mpris-test-server");
const QString kClient = QStringLiteral("mpris-test-client");

// Records the PropertiesChanged signals the client sees.
class ChangeRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QVariantMap> changes;

public Q_SLOTS:
    void propertiesChanged(const QString &interface, const QVariantMap &changed, const QStringList &)
    {
        EXPECT_EQ(interface, kPlayer);
        changes.append(changed);
    }
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

// A session bus of the suite's own, from Debian's dbus package.
class MprisBus : public testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            return;
        s_daemon = std::make_unique<QProcess>();
        // A test that crashes takes its bus with it.
        s_daemon->setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
        s_daemon->start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                 QStringLiteral("--print-address")});
        if (s_daemon->waitForReadyRead(10000))
            s_address = QString::fromUtf8(s_daemon->readLine()).trimmed();
    }
    static void TearDownTestSuite()
    {
        if (s_daemon) {
            s_daemon->terminate();
            if (!s_daemon->waitForFinished(5000))
                s_daemon->kill();
            s_daemon.reset();
        }
        s_address.clear();
    }

    void SetUp() override
    {
        if (s_address.isEmpty())
            GTEST_SKIP() << "no dbus-daemon to start a private bus";
        ASSERT_TRUE(m_settings.isValid());
        m_httpq.answer = [this](const QString &, const QString &url) -> std::optional<QString> {
            const QString key = commandOf(url);
            return m_answers.contains(key) ? m_answers.value(key) : std::nullopt;
        };
        m_settings.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nHTTPQ_SERVER=player\r\nHTTPQ_PASSWD=pw\r\nREFRESH=0\r\n");
        m_bar = &m_windows.start();
        m_bar->timRefreshStatus->setEnabled(false);
        m_bar->timDisplaySongtitle->setEnabled(false);

        m_bus = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(s_address, kServer));
        m_client = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(s_address, kClient));
        ASSERT_TRUE(m_bus->isConnected() && m_client->isConnected());
        m_bridge = MprisBridge::attach(*m_bar, *m_bus);
        ASSERT_NE(m_bridge, nullptr);
        ASSERT_TRUE(m_client->connect(QString(), kPath, kProperties, QStringLiteral("PropertiesChanged"), &m_recorder,
                                      SLOT(propertiesChanged(QString, QVariantMap, QStringList))));
        m_httpq.log.clear();
    }
    void TearDown() override
    {
        m_bridge.reset();
        m_windows.close();
        m_bus.reset();
        m_client.reset();
        QDBusConnection::disconnectFromBus(kServer);
        QDBusConnection::disconnectFromBus(kClient);
    }

    static QString commandOf(const QString &url)
    {
        QString key = url.mid(url.indexOf(u'/', 7));
        return key.remove(QStringLiteral("pw"));
    }
    // The requests since the last call, as channel and command.
    QStringList sent()
    {
        QStringList requests;
        for (const Exchange &exchange : std::as_const(m_httpq.log))
            requests.append((exchange.channel == u"NetworkConnection" ? QStringLiteral("net ") : QStringLiteral("status "))
                            + commandOf(exchange.url));
        m_httpq.log.clear();
        return requests;
    }

    QDBusPendingCall callAsync(const QString &interface, const QString &member, const QVariantList &arguments = {})
    {
        QDBusMessage message = QDBusMessage::createMethodCall(m_bridge->serviceName(), kPath, interface, member);
        message.setArguments(arguments);
        return m_client->asyncCall(message);
    }
    static bool finished(const QDBusPendingCall &pending)
    {
        return QTest::qWaitFor([&] { return pending.isFinished(); }, 5000);
    }
    QDBusMessage call(const QString &interface, const QString &member, const QVariantList &arguments = {})
    {
        const QDBusPendingCall pending = callAsync(interface, member, arguments);
        EXPECT_TRUE(finished(pending)) << member.toStdString();
        // The bridge's queued work runs before it takes the next call: once
        // this one is answered, the request of the first has been made.
        EXPECT_TRUE(finished(callAsync(kProperties, QStringLiteral("Get"), {kRoot, QStringLiteral("Identity")})));
        return pending.reply();
    }
    QVariant get(const QString &interface, const QString &name)
    {
        const QDBusMessage reply = call(kProperties, QStringLiteral("Get"), {interface, name});
        return reply.arguments().isEmpty() ? QVariant() : plain(reply.arguments().constFirst());
    }
    // A round trip after the poll: every signal it sent has arrived.
    QList<QVariantMap> changesSeen()
    {
        call(kProperties, QStringLiteral("Get"), {kRoot, QStringLiteral("Identity")});
        QCoreApplication::processEvents();
        return std::exchange(m_recorder.changes, {});
    }
    void knownState(const char *isplaying)
    {
        m_answers[QStringLiteral("/isplaying?p=")] = QString::fromLatin1(isplaying);
        m_bar->timRefreshStatus_Timer();
        changesSeen();
        m_httpq.log.clear();
    }

    static inline std::unique_ptr<QProcess> s_daemon;
    static inline QString s_address;

    SettingsSandbox m_settings;
    FakeHttpq m_httpq;
    QMap<QString, std::optional<QString>> m_answers;
    TestWindows m_windows;
    frm_Quendra *m_bar = nullptr;
    std::unique_ptr<QDBusConnection> m_bus;
    std::unique_ptr<QDBusConnection> m_client;
    std::unique_ptr<MprisBridge> m_bridge;
    ChangeRecorder m_recorder;
};

struct MethodCase
{
    const char *name;
    const char *isplaying; // the play state the status poll last read
    QString interface;
    QString member;
    QVariantList arguments;
    QStringList requests;
};

QVariantList setPlayer(const char *property, const QVariant &value)
{
    return {QStringLiteral("org.mpris.MediaPlayer2.Player"), QString::fromLatin1(property),
            QVariant::fromValue(QDBusVariant(value))};
}

const QString kSet = QStringLiteral("Set");
const QStringList kShuffleCheck = {QStringLiteral("status /shuffle_status?p=")};
const QStringList kLoopCheck = {QStringLiteral("status /repeat_status?p=")};

void PrintTo(const MethodCase &c, std::ostream *out)
{
    *out << c.name;
}

class MprisMethods : public MprisBus, public testing::WithParamInterface<MethodCase>
{
};

TEST_P(MprisMethods, EachMethodSendsTheFacesRequest)
{
    const MethodCase &c = GetParam();
    knownState(c.isplaying);
    const QDBusMessage reply = call(c.interface, c.member, c.arguments);
    EXPECT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    EXPECT_EQ(sent(), c.requests);
}

INSTANTIATE_TEST_SUITE_P(
    Methods, MprisMethods,
    testing::Values(
        // "/play" restarts the song and "/pause" toggles.
        MethodCase{"PlayWhileStopped", "0", kPlayer, QStringLiteral("Play"), {}, {QStringLiteral("net /play?p=")}},
        MethodCase{"PlayWhilePausedResumes", "3", kPlayer, QStringLiteral("Play"), {}, {QStringLiteral("net /pause?p=")}},
        MethodCase{"PlayWhilePlayingDoesNothing", "1", kPlayer, QStringLiteral("Play"), {}, {}},
        MethodCase{"PauseWhilePlaying", "1", kPlayer, QStringLiteral("Pause"), {}, {QStringLiteral("net /pause?p=")}},
        MethodCase{"PauseWhilePausedDoesNothing", "3", kPlayer, QStringLiteral("Pause"), {}, {}},
        MethodCase{"PlayPauseWhilePlaying", "1", kPlayer, QStringLiteral("PlayPause"), {}, {QStringLiteral("net /pause?p=")}},
        MethodCase{"PlayPauseWhilePaused", "3", kPlayer, QStringLiteral("PlayPause"), {}, {QStringLiteral("net /pause?p=")}},
        MethodCase{"PlayPauseWhileStopped", "0", kPlayer, QStringLiteral("PlayPause"), {}, {QStringLiteral("net /play?p=")}},
        // An unknown answer keeps the last known state (stopped here).
        MethodCase{"PlayPauseAfterAnUnknownState", "2", kPlayer, QStringLiteral("PlayPause"), {}, {QStringLiteral("net /play?p=")}},
        MethodCase{"Stop", "1", kPlayer, QStringLiteral("Stop"), {}, {QStringLiteral("net /stop?p=")}},
        MethodCase{"Next", "1", kPlayer, QStringLiteral("Next"), {}, {QStringLiteral("net /next?p=")}},
        MethodCase{"Previous", "1", kPlayer, QStringLiteral("Previous"), {}, {QStringLiteral("net /prev?p=")}},
        MethodCase{"SeekDoesNothing", "1", kPlayer, QStringLiteral("Seek"), {qlonglong(5'000'000)}, {}},
        MethodCase{"RateZeroPauses", "1", kProperties, kSet, setPlayer("Rate", 0.0), {QStringLiteral("net /pause?p=")}},
        MethodCase{"ShuffleOn", "1", kProperties, kSet, setPlayer("Shuffle", true),
                   QStringList{QStringLiteral("net /shuffle?p=&a=1")} + kShuffleCheck},
        MethodCase{"ShuffleOff", "1", kProperties, kSet, setPlayer("Shuffle", false),
                   QStringList{QStringLiteral("net /shuffle?p=&a=0")} + kShuffleCheck},
        MethodCase{"LoopPlaylist", "1", kProperties, kSet, setPlayer("LoopStatus", QStringLiteral("Playlist")),
                   QStringList{QStringLiteral("net /repeat?p=&a=1")} + kLoopCheck},
        MethodCase{"LoopTrackRepeatsTheList", "1", kProperties, kSet, setPlayer("LoopStatus", QStringLiteral("Track")),
                   QStringList{QStringLiteral("net /repeat?p=&a=1")} + kLoopCheck},
        MethodCase{"LoopNone", "1", kProperties, kSet, setPlayer("LoopStatus", QStringLiteral("None")),
                   QStringList{QStringLiteral("net /repeat?p=&a=0")} + kLoopCheck},
        MethodCase{"LoopUnknownDoesNothing", "1", kProperties, kSet, setPlayer("LoopStatus", QStringLiteral("All")), {}}),
    [](const testing::TestParamInfo<MethodCase> &info) { return std::string(info.param.name); });

TEST_F(MprisBus, TheBusHasItsAnswerBeforeTheRequestIsMade)
{
    // The player answers only once the client has its reply: a bridge that
    // waited for the player before answering would never get there.
    QDBusPendingCall pending = callAsync(kPlayer, QStringLiteral("Next"));
    bool answeredFirst = false;
    m_httpq.answer = [&](const QString &, const QString &) -> std::optional<QString> {
        answeredFirst = QTest::qWaitFor([&] { return pending.isFinished(); }, 3000);
        return QStringLiteral("1");
    };
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_httpq.log.isEmpty(); }, 5000));
    EXPECT_TRUE(answeredFirst);
    EXPECT_EQ(sent(), QStringList{QStringLiteral("net /next?p=")});
}

TEST_F(MprisBus, RaiseShowsTheWindowsAndQuitClosesAndSaves)
{
    m_bar->HideAllWindows();
    call(kRoot, QStringLiteral("Raise"));
    EXPECT_TRUE(m_bar->isVisible());
    EXPECT_TRUE(frm_QuendraPlaylist::instance()->isVisible());

    m_bar->moveTwips(1500, 3000);
    QDBusPendingCall quit = callAsync(kRoot, QStringLiteral("Quit"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m_windows.ends == 1; }, 5000));
    EXPECT_TRUE(m_settings.read().contains("X_STARTUP_POSITION=1500"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return quit.isFinished(); }, 5000));
    EXPECT_FALSE(quit.isError());
}

QVariant track(const char *path)
{
    return QVariant::fromValue(QDBusObjectPath(QString::fromLatin1(path)));
}

struct ChangeCase
{
    const char *name;
    const char *command; // the answer that changes
    const char *answer;
    void (*poll)(frm_Quendra &);
    const char *property;
    QVariant value;
};

void PrintTo(const ChangeCase &c, std::ostream *out)
{
    *out << c.name;
}

class MprisChanges : public MprisBus, public testing::WithParamInterface<ChangeCase>
{
};

TEST_P(MprisChanges, APollThatSeesAChangeSendsOneSignalAndAnUnchangedOneNone)
{
    const ChangeCase &c = GetParam();
    // Both polls have read a song, 245 s long, at list position 3.
    m_answers[QStringLiteral("/getcurrenttitle?p=")] = QStringLiteral("Artist - Song");
    m_answers[QStringLiteral("/getlistpos?p=")] = QStringLiteral("3");
    m_answers[QStringLiteral("/getoutputtime?p=&a=1")] = QStringLiteral("245");
    m_answers[QStringLiteral("/shuffle_status?p=")] = QStringLiteral("0");
    m_answers[QStringLiteral("/repeat_status?p=")] = QStringLiteral("0");
    m_answers[QStringLiteral("/isplaying?p=")] = QStringLiteral("0");
    m_bar->timRefreshSongTitle_Timer();
    m_bar->timRefreshStatus_Timer();
    changesSeen();

    m_answers[QString::fromLatin1(c.command)] = QString::fromLatin1(c.answer);
    c.poll(*m_bar);
    const QList<QVariantMap> changes = changesSeen();
    ASSERT_EQ(changes.size(), 1);
    EXPECT_EQ(changes.constFirst().keys(), QStringList{QString::fromLatin1(c.property)});
    EXPECT_EQ(plain(changes.constFirst().value(QString::fromLatin1(c.property))), c.value);
    // Reading a property asks the player nothing.
    m_httpq.log.clear();
    EXPECT_EQ(get(kPlayer, QString::fromLatin1(c.property)), c.value);
    EXPECT_EQ(sent(), QStringList());

    c.poll(*m_bar);
    EXPECT_EQ(changesSeen().size(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Changes, MprisChanges,
    testing::Values(ChangeCase{"Title", "/getcurrenttitle?p=", "Other - Tune", [](frm_Quendra &bar) { bar.timRefreshSongTitle_Timer(); }, "Metadata",
                               QVariantMap{{QStringLiteral("mpris:trackid"), track("/org/quendra/Quendra/Track/3")},
                                           {QStringLiteral("xesam:title"), QStringLiteral("Other - Tune")},
                                           {QStringLiteral("mpris:length"), qint64(245'000'000)}}},
                    ChangeCase{"PlayState", "/isplaying?p=", "3", [](frm_Quendra &bar) { bar.timRefreshStatus_Timer(); }, "PlaybackStatus",
                               QStringLiteral("Paused")},
                    ChangeCase{"Shuffle", "/shuffle_status?p=", "1", [](frm_Quendra &bar) { bar.ShuffleCheck(); }, "Shuffle", true},
                    ChangeCase{"Repeat", "/repeat_status?p=", "1", [](frm_Quendra &bar) { bar.LoopCheck(); }, "LoopStatus",
                               QStringLiteral("Playlist")}),
    [](const testing::TestParamInfo<ChangeCase> &info) { return std::string(info.param.name); });

TEST_F(MprisBus, ASecondCopyTakesAnInstanceName)
{
    const QString otherName = QStringLiteral("mpris-test-second");
    {
        QDBusConnection other = QDBusConnection::connectToBus(s_address, otherName);
        const std::unique_ptr<MprisBridge> second = MprisBridge::attach(*m_bar, other);
        ASSERT_NE(second, nullptr);
        EXPECT_EQ(m_bridge->serviceName(), u"org.mpris.MediaPlayer2.quendra");
        EXPECT_EQ(second->serviceName(),
                  QStringLiteral("org.mpris.MediaPlayer2.quendra.instance%1").arg(QCoreApplication::applicationPid()));
    }
    QDBusConnection::disconnectFromBus(otherName);
}

TEST_F(MprisBus, WebControlModeRegistersNothing)
{
    m_bridge.reset();
    gQuendraType = QStringLiteral("HTTPQ");
    EXPECT_EQ(MprisBridge::attach(*m_bar, *m_bus), nullptr);
    EXPECT_FALSE(m_client->interface()->isServiceRegistered(QStringLiteral("org.mpris.MediaPlayer2.quendra")).value());
}

QStringList g_messages;

TEST(MprisNoBus, NoSessionBusMeansNoBridgeAndNoMessage)
{
    SettingsSandbox settings;
    TestWindows windows;
    FakeHttpq httpq;
    settings.write("[HTTPQ]\r\nQUENDRA_TYPE=DIRECT\r\nREFRESH=0\r\n");
    frm_Quendra &bar = windows.start();
    const QByteArray address = qgetenv("DBUS_SESSION_BUS_ADDRESS");
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/quendra-test-bus");
    g_messages.clear();
    const QtMessageHandler previous =
        qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &text) { g_messages.append(text); });
    const std::unique_ptr<MprisBridge> bridge = MprisBridge::attachToSessionBus(bar);
    qInstallMessageHandler(previous);
    qputenv("DBUS_SESSION_BUS_ADDRESS", address);
    EXPECT_EQ(bridge, nullptr);
    EXPECT_EQ(g_messages, QStringList());
}

struct MetadataCase
{
    const char *name;
    QString title;
    qint16 listPos;
    qint16 length;
    QVariantMap expected;
};

void PrintTo(const MetadataCase &c, std::ostream *out)
{
    *out << c.name;
}

class MprisMetadataTable : public testing::TestWithParam<MetadataCase>
{
};

TEST_P(MprisMetadataTable, TitleLengthAndTrackId)
{
    const MetadataCase &c = GetParam();
    EXPECT_EQ(MprisMetadata(c.title, c.listPos, c.length), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Metadata, MprisMetadataTable,
    testing::Values(
        MetadataCase{"Song", QStringLiteral("A - B"), 7, 61,
                     {{QStringLiteral("mpris:trackid"), track("/org/quendra/Quendra/Track/7")},
                      {QStringLiteral("xesam:title"), QStringLiteral("A - B")},
                      {QStringLiteral("mpris:length"), qint64(61'000'000)}}},
        // The player's -1 for "nothing plays" is no length, not a negative one.
        MetadataCase{"UnknownLength", QStringLiteral("A - B"), 0, -1,
                     {{QStringLiteral("mpris:trackid"), track("/org/quendra/Quendra/Track/0")},
                      {QStringLiteral("xesam:title"), QStringLiteral("A - B")}}},
        MetadataCase{"NoTitleIsNoTrack", QString(), 4, 200,
                     {{QStringLiteral("mpris:trackid"), track("/org/mpris/MediaPlayer2/TrackList/NoTrack")}}},
        // A path with a minus sign could not be sent at all.
        MetadataCase{"NegativePosition", QStringLiteral("A"), -2, 0,
                     {{QStringLiteral("mpris:trackid"), track("/org/mpris/MediaPlayer2/TrackList/NoTrack")},
                      {QStringLiteral("xesam:title"), QStringLiteral("A")}}},
        MetadataCase{"NulInTitle", QString::fromUtf16(u"A\0B", 3), 1, 0,
                     {{QStringLiteral("mpris:trackid"), track("/org/quendra/Quendra/Track/1")},
                      {QStringLiteral("xesam:title"), QStringLiteral("AB")}}}),
    [](const testing::TestParamInfo<MetadataCase> &info) { return std::string(info.param.name); });

} // namespace

#include "mpris_test.moc"
