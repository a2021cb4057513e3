#include "HttpqSimulator.h"
#include "httpq/HttpqClient.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

// Every request in these tests ends well before this, or the test fails.
constexpr int kTestTimeoutMs = 5000;

class Transport : public testing::Test
{
protected:
    void SetUp() override { ResetSettingsRecord(); }
    void TearDown() override { ResetSettingsRecord(); }

    void startSimulator(const HttpqSimOptions &options = {}, int titles = 25)
    {
        m_sim = std::make_unique<HttpqSimulator>(options);
        HttpqPlayerState state = m_sim->state();
        state.titles = HttpqSimulator::generatedTitles(titles);
        m_sim->setState(state);
        ASSERT_TRUE(m_sim->listen(QHostAddress::LocalHost, 0));
        gHttpqServer = QStringLiteral("127.0.0.1");
        gHttpqPort = QString::number(m_sim->serverPort());
        gHttpqPasswd = options.password;
    }

    HttpqClient *channel(const char *name, int timeoutMs = kTestTimeoutMs)
    {
        auto *client = new HttpqClient(QString::fromLatin1(name), &m_owner);
        client->setRequestTimeout(timeoutMs);
        return client;
    }

    std::unique_ptr<HttpqSimulator> m_sim;
    QObject m_owner;
};

TEST_F(Transport, FetchReturnsTheWholeBodyAndCommandsChangeThePlayer)
{
    HttpqSimOptions options;
    options.password = QStringLiteral("pw");
    startSimulator(options);
    HttpqClient *net = channel("NetworkConnection");

    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), u"1");
    EXPECT_EQ(m_sim->state().playState, int(HttpqPlayerState::Playing));
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/isplaying?p=")), u"1");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p=")), m_sim->state().titles.at(0));
    EXPECT_FALSE(net->IsBusy());

    // A wrong password is an answer like any other.
    gHttpqPasswd = QStringLiteral("PW");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/getlistpos?p=")), u"0");
}

TEST_F(Transport, AsynchronousAnswerIsReadInPiecesOf1024Characters)
{
    HttpqSimOptions options;
    options.encoding = HttpqSimOptions::Encoding::Utf8;
    startSimulator(options, 300);
    HttpqClient *list = channel("inetPlayList");
    QSignalSpy completed(list, &HttpqClient::ResponseCompleted);

    ASSERT_TRUE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    EXPECT_TRUE(list->IsBusy());
    // One request at a time: a second one fails at once.
    EXPECT_FALSE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));

    ASSERT_TRUE(completed.wait(kTestTimeoutMs));
    EXPECT_EQ(completed.count(), 1);
    EXPECT_FALSE(list->IsBusy());

    QString joined;
    int pieces = 0;
    for (QString piece = list->ReadChunk(1024); !piece.isEmpty(); piece = list->ReadChunk(1024)) {
        EXPECT_LE(piece.size(), 1024);
        joined += piece;
        ++pieces;
    }
    EXPECT_EQ(joined.toStdString(),
              (m_sim->state().titles.join(QStringLiteral("<br>")) + QStringLiteral("<br>")).toStdString());
    EXPECT_EQ(pieces, (joined.size() + 1023) / 1024);
    EXPECT_GT(pieces, 3);
    EXPECT_EQ(list->ReadChunk(1024), QString());
}

TEST_F(Transport, Windows1252BodiesAndUtf8BodiesReadAsTheSameText)
{
    HttpqSimOptions options;
    startSimulator(options);
    HttpqPlayerState state = m_sim->state();
    state.titles = {QStringLiteral("Bj\u00f6rk - J\u00f3ga \u20ac")};
    m_sim->setState(state);
    HttpqClient *net = channel("NetworkConnection");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p=")), state.titles.at(0));

    options.encoding = HttpqSimOptions::Encoding::Utf8;
    m_sim->setOptions(options);
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p=")), state.titles.at(0));
}

TEST_F(Transport, SettingsCannotInjectIntoTheRequestLine)
{
    HttpqSimOptions options;
    options.password = QStringLiteral("a b\r\nX-Injected: 1#");
    startSimulator(options);
    QList<QByteArray> lines;
    QObject::connect(m_sim.get(), &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { lines.append(line); });
    HttpqClient *net = channel("NetworkConnection");

    // The server decodes %XX, so the password still matches.
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/shuffle?p=", u"&a=1")), u"1");
    ASSERT_EQ(lines.size(), 1);
    EXPECT_EQ(lines.at(0).toStdString(), "GET /shuffle?p=a%20b%0D%0AX-Injected:%201%23&a=1 HTTP/1.0");
    EXPECT_TRUE(m_sim->state().shuffle);

    // '%' goes as it is: the server decodes it.
    gHttpqPasswd = QStringLiteral("%25");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), u"0");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines.at(1).toStdString(), "GET /play?p=%25 HTTP/1.0");
}

TEST_F(Transport, EachFetchIsExactlyOneRequest)
{
    startSimulator();
    quint64 lines = 0;
    QObject::connect(m_sim.get(), &HttpqSimulator::requestReceived, [&] { ++lines; });
    HttpqClient *net = channel("NetworkConnection");
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/volumeup?p=")), u"1");
    // Anything the client sent again would arrive shortly after.
    QTest::qWait(100);
    EXPECT_EQ(lines, 300u);
}

TEST_F(Transport, RequestsThatCannotBeMadeFailAtOnce)
{
    HttpqClient *net = channel("NetworkConnection");
    gHttpqPort = QStringLiteral("4800");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), std::nullopt); // no server
    gHttpqServer = QStringLiteral("127.0.0.1");
    gHttpqPort = QStringLiteral("port");
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), std::nullopt);
    EXPECT_FALSE(net->IsBusy());

    // A port where nothing listens: refused.
    QTcpServer probe;
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    gHttpqPort = QString::number(probe.serverPort());
    probe.close();
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), std::nullopt);
    EXPECT_FALSE(net->IsBusy());
}

TEST_F(Transport, AStalledServerTimesOutWhileTheWindowsGoOn)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    startSimulator(options);
    HttpqClient *status = channel("InetStatusCheck", 300);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(status->Fetch(HttpqClient::BuildUrl(u"/isplaying?p=")), std::nullopt);
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_LT(clock.elapsed(), kTestTimeoutMs);
    EXPECT_GE(ticks, 5);
    EXPECT_FALSE(status->IsBusy());

    QSignalSpy completed(status, &HttpqClient::ResponseCompleted);
    ASSERT_TRUE(status->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !status->IsBusy(); }, kTestTimeoutMs));
    EXPECT_EQ(completed.count(), 0);
}

TEST_F(Transport, CancelAbandonsTheRequestOfItsOwnChannelOnly)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    startSimulator(options);
    HttpqClient *list = channel("inetPlayList");
    HttpqClient *action = channel("inetPLAction");
    QSignalSpy completed(list, &HttpqClient::ResponseCompleted);
    ASSERT_TRUE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    ASSERT_TRUE(action->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));

    list->Cancel();
    EXPECT_FALSE(list->IsBusy());
    EXPECT_TRUE(action->IsBusy());
    action->Cancel();
    action->Cancel();
    QCoreApplication::processEvents();
    EXPECT_EQ(completed.count(), 0);
    EXPECT_EQ(list->ReadChunk(1024), QString());
}

// What can happen while a synchronous request waits.

TEST_F(Transport, FetchSurvivesItsChannelBeingDeletedWhileItWaits)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    startSimulator(options);
    auto *window = new QObject;
    auto *net = new HttpqClient(QStringLiteral("NetworkConnection"), window);
    net->setRequestTimeout(kTestTimeoutMs);
    QTimer::singleShot(50, window, [window] { window->deleteLater(); });

    QPointer<HttpqClient> alive(net);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p=")), std::nullopt);
    EXPECT_LT(clock.elapsed(), kTestTimeoutMs / 2);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(Transport, FetchEndsFailedWhenTheProgramQuitsWhileItWaits)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    startSimulator(options);
    HttpqClient *net = channel("NetworkConnection");

    // Quitting needs the application's own loop running, as in the program.
    std::optional<QString> answer = QStringLiteral("unset");
    qint64 waited = -1;
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(50, qApp, &QCoreApplication::quit);
        QElapsedTimer clock;
        clock.start();
        answer = net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p="));
        waited = clock.elapsed();
    });
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, qApp, &QCoreApplication::quit);
    guard.start(kTestTimeoutMs);
    QCoreApplication::exec();

    EXPECT_EQ(answer, std::nullopt);
    EXPECT_GE(waited, 0);
    EXPECT_LT(waited, kTestTimeoutMs / 2);
    EXPECT_FALSE(net->IsBusy());
    // The channel is usable again.
    m_sim->setOptions({});
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/play?p=")), u"1");
}

TEST_F(Transport, ARequestOnAnotherChannelDuringTheWaitIsServedFirst)
{
    HttpqSimOptions slow;
    slow.delayMs = 600;
    startSimulator(slow);
    const QString outerUrl = HttpqClient::BuildUrl(u"/play?p=");
    HttpqSimulator quick;
    ASSERT_TRUE(quick.listen(QHostAddress::LocalHost, 0));
    gHttpqPort = QString::number(quick.serverPort());

    QList<QByteArray> quickLines;
    QObject::connect(&quick, &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { quickLines.append(line); });
    HttpqClient *net = channel("NetworkConnection");
    HttpqClient *status = channel("InetStatusCheck");
    std::optional<QString> inner;
    QStringList order;
    QElapsedTimer clock;
    clock.start();
    qint64 stopSentAt = -1;
    QTimer::singleShot(50, [&] {
        inner = status->Fetch(HttpqClient::BuildUrl(u"/isplaying?p="));
        order.append(QStringLiteral("inner"));
        // A second request on the waiting channel waits its turn: it goes
        // out once the first has its answer (the server delays it 600 ms).
        EXPECT_TRUE(net->IsBusy());
        EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/stop?p=")), u"1");
        stopSentAt = clock.elapsed();
        order.append(QStringLiteral("second"));
    });

    EXPECT_EQ(net->Fetch(outerUrl), u"1");
    order.append(QStringLiteral("outer"));
    EXPECT_EQ(inner, u"0");
    EXPECT_EQ(order, QStringList({QStringLiteral("inner"), QStringLiteral("second"), QStringLiteral("outer")}));
    EXPECT_GE(stopSentAt, 550);
    ASSERT_EQ(quickLines.size(), 2);
    EXPECT_TRUE(quickLines.at(1).startsWith("GET /stop?p= ")) << quickLines.at(1).toStdString();
}

TEST_F(Transport, CancelOfTheWaitingRequestEndsItFailed)
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    startSimulator(options);
    HttpqClient *status = channel("InetStatusCheck");
    QTimer::singleShot(50, status, [status] { status->Cancel(); });

    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(status->Fetch(HttpqClient::BuildUrl(u"/shuffle_status?p=")), std::nullopt);
    EXPECT_LT(clock.elapsed(), kTestTimeoutMs / 2);
    EXPECT_FALSE(status->IsBusy());
}

// Servers that misbehave, or answer oddly: each request ends with its
// documented result, by the fault or by the channel's time limit, and the
// windows are served while it waits.
struct ServerReply
{
    const char *name;
    HttpqSimOptions options;
    std::optional<QStringList> titles; // the generated ones when not given
    bool playlist = false; // StartGet of the playlist instead of a Fetch of the title
    std::optional<QString> expected;
    bool endedByTheTimeLimit = false;
};

void PrintTo(const ServerReply &reply, std::ostream *out)
{
    *out << reply.name;
}

std::vector<ServerReply> serverReplies()
{
    using Fault = HttpqSimOptions::Fault;
    const auto utf8 = [](HttpqSimOptions options) {
        options.encoding = HttpqSimOptions::Encoding::Utf8;
        return options;
    };
    const auto withoutHeaders = [] {
        HttpqSimOptions options;
        options.sendHeaders = false;
        return options;
    };
    HttpqSimOptions reset;
    reset.fault = Fault::Reset;
    HttpqSimOptions drip;
    drip.dripMs = 40;
    HttpqSimOptions longLength;
    longLength.fault = Fault::LongLength;
    HttpqSimOptions flood;
    flood.fault = Fault::HeaderFlood;
    const QString title = HttpqSimulator::generatedTitles(1).at(0);
    const QString huge = QStringLiteral("a") + QString(99'000, QChar(0xE9));
    return {
        {"ResetMidBody", reset, {}, false, std::nullopt},
        {"ResetMidPlaylist", reset, {}, true, std::nullopt},
        {"DripPastTheTimeLimit", drip, {}, false, std::nullopt, true},
        {"ContentLengthTooLarge", longLength, {}, false, std::nullopt},
        {"HeaderFlood", flood, {}, false, std::nullopt},
        {"HeaderlessReply", withoutHeaders(), {}, false, title},
        {"EmptyHeaderlessBody", withoutHeaders(), QStringList(), false, QString()},
        {"HeaderlessBodyLikeAStatusLine", withoutHeaders(), QStringList{QStringLiteral("HTTP/1.0")}, false,
         QStringLiteral("HTTP/1.0")},
        // 64 KiB of UTF-8 ends inside an "é": the answer stops before it.
        {"TitleOverTheBoundIsCutOnAWholeCharacter", utf8({}), QStringList{huge}, false,
         QStringLiteral("a") + QString(32'767, QChar(0xE9))},
        {"PlaylistOverTheTitleBoundComesWhole", utf8({}), QStringList{huge}, true,
         huge + QStringLiteral("<br>")},
    };
}

class TransportReplies : public Transport, public testing::WithParamInterface<ServerReply>
{
};

TEST_P(TransportReplies, EndWithTheirDocumentedResultWhileTheWindowsGoOn)
{
    const ServerReply &reply = GetParam();
    HttpqSimOptions options = reply.options;
    // Long enough for the windows' timers to tick during every wait.
    options.delayMs = 100;
    startSimulator(options);
    if (reply.titles) {
        HttpqPlayerState state = m_sim->state();
        state.titles = *reply.titles;
        m_sim->setState(state);
    }
    const int limitMs = reply.endedByTheTimeLimit ? 600 : 3000;
    HttpqClient *net = channel(reply.playlist ? "inetPlayList" : "NetworkConnection", limitMs);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    QElapsedTimer clock;
    clock.start();
    std::optional<QString> answer;
    if (reply.playlist) {
        QSignalSpy completed(net, &HttpqClient::ResponseCompleted);
        ASSERT_TRUE(net->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !net->IsBusy(); }, limitMs + kTestTimeoutMs));
        if (!completed.isEmpty()) {
            answer.emplace();
            for (QString piece = net->ReadChunk(1024); !piece.isEmpty(); piece = net->ReadChunk(1024))
                *answer += piece;
        }
    } else {
        answer = net->Fetch(HttpqClient::BuildUrl(u"/getcurrenttitle?p="));
    }
    const qint64 elapsed = clock.elapsed();

    EXPECT_TRUE(answer == reply.expected)
        << (answer ? QStringLiteral("%1 characters: %2").arg(answer->size()).arg(answer->left(60))
                   : QStringLiteral("a failure")).toStdString();
    EXPECT_FALSE(net->IsBusy());
    if (reply.endedByTheTimeLimit) {
        EXPECT_GE(elapsed, limitMs - 50);
        EXPECT_LT(elapsed, limitMs + 1000);
    } else {
        EXPECT_LT(elapsed, limitMs / 2);
    }
    EXPECT_GE(ticks, 5);
}

INSTANTIATE_TEST_SUITE_P(Servers, TransportReplies, testing::ValuesIn(serverReplies()),
                         [](const testing::TestParamInfo<ServerReply> &info) { return info.param.name; });

} // namespace
