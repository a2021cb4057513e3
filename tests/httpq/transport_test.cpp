#include "HttpqSimulator.h"
#include "httpq/HttpqClient.h"
#include "settings/Settings.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPointer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>
#include <QTimer>

namespace {

// Every request in these tests ends well before this, or the test fails.
constexpr int kTestTimeoutMs = 5000;
const QString kTitleUrlCommand = QStringLiteral("/getcurrenttitle?p=");

// The real HTTP transfer against the simulated player on loopback.
class Transport : public testing::Test
{
protected:
    void SetUp() override { ResetSettingsRecord(); }
    void TearDown() override { ResetSettingsRecord(); }

    void startSimulator(const HttpqSimOptions &options = {})
    {
        m_sim = std::make_unique<HttpqSimulator>(options);
        ASSERT_TRUE(m_sim->listen(QHostAddress::LocalHost, 0));
        gHttpqServer = QStringLiteral("127.0.0.1");
        gHttpqPort = QString::number(m_sim->serverPort());
        gHttpqPasswd = options.password;
        QObject::connect(m_sim.get(), &HttpqSimulator::requestReceived,
                         [this](const QByteArray &line) { m_lines.append(line); });
    }
    void setTitles(const QStringList &titles)
    {
        HttpqPlayerState state = m_sim->state();
        state.titles = titles;
        m_sim->setState(state);
    }
    HttpqClient *channel(const char *name, int timeoutMs = kTestTimeoutMs)
    {
        auto *client = new HttpqClient(QString::fromLatin1(name), &m_owner);
        client->setRequestTimeout(timeoutMs);
        return client;
    }
    static std::optional<QString> fetch(HttpqClient *client, QStringView command)
    {
        return client->Fetch(HttpqClient::BuildUrl(command));
    }

    std::unique_ptr<HttpqSimulator> m_sim;
    QByteArrayList m_lines;
    QObject m_owner;
};

HttpqSimOptions stalling()
{
    HttpqSimOptions options;
    options.fault = HttpqSimOptions::Fault::Stall;
    return options;
}

TEST_F(Transport, FetchAndPlaylistCarryTheWholeAnswer)
{
    HttpqSimOptions options;
    options.password = QStringLiteral("pw");
    options.encoding = HttpqSimOptions::Encoding::Utf8;
    startSimulator(options);
    setTitles(HttpqSimulator::generatedTitles(300));
    HttpqClient *net = channel("NetworkConnection");
    EXPECT_EQ(fetch(net, u"/play?p="), u"1");
    EXPECT_EQ(m_sim->state().playState, int(HttpqPlayerState::Playing));
    // A wrong password is an answer like any other.
    gHttpqPasswd = QStringLiteral("PW");
    EXPECT_EQ(fetch(net, u"/getlistpos?p="), u"0");

    HttpqClient *list = channel("inetPlayList");
    QSignalSpy completed(list, &HttpqClient::ResponseCompleted);
    gHttpqPasswd = options.password;
    ASSERT_TRUE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    // One request at a time: a second one fails at once.
    EXPECT_FALSE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    ASSERT_TRUE(completed.wait(kTestTimeoutMs));
    EXPECT_FALSE(list->IsBusy());
    QString joined;
    for (QString piece = list->ReadChunk(1024); !piece.isEmpty(); piece = list->ReadChunk(1024)) {
        EXPECT_LE(piece.size(), 1024);
        joined += piece;
    }
    EXPECT_EQ(joined.toStdString(), (m_sim->state().titles.join(u"<br>") + QStringLiteral("<br>")).toStdString());
    EXPECT_EQ(completed.count(), 1);
}

TEST_F(Transport, SettingsGoOnTheWireInTheServersEncodingAndCannotInject)
{
    HttpqSimOptions options;
    options.password = QStringLiteral("\u00e4 \u20ac\u0416\r\nX-Injected: 1#");
    startSimulator(options);
    HttpqClient *net = channel("NetworkConnection");
    // The server decodes %XX and compares Windows-1252 bytes: the password matches.
    EXPECT_EQ(net->Fetch(HttpqClient::BuildUrl(u"/shuffle?p=", u"&a=1")), u"1");
    // '%' goes as it is: the server decodes it.
    gHttpqPasswd = QStringLiteral("%25");
    EXPECT_EQ(fetch(net, u"/play?p="), u"0");
    EXPECT_EQ(m_lines, QByteArrayList({"GET /shuffle?p=%E4%20%80%D0%96%0D%0AX-Injected:%201%23&a=1 HTTP/1.0",
                                       "GET /play?p=%25 HTTP/1.0"}));
}

TEST_F(Transport, RequestsThatCannotBeMadeFail)
{
    HttpqClient *net = channel("NetworkConnection");
    gHttpqServer = QStringLiteral("127.0.0.1");
    gHttpqPort = QStringLiteral("port");
    EXPECT_EQ(fetch(net, u"/play?p="), std::nullopt);
    QTcpServer probe; // a port where nothing listens: refused
    ASSERT_TRUE(probe.listen(QHostAddress::LocalHost, 0));
    gHttpqPort = QString::number(probe.serverPort());
    probe.close();
    EXPECT_EQ(fetch(net, u"/play?p="), std::nullopt);
    EXPECT_FALSE(net->IsBusy());
}

TEST_F(Transport, CancelEndsTheRequestsOfItsOwnChannelOnly)
{
    HttpqSimOptions slow;
    slow.delayMs = 1000;
    startSimulator(slow);
    HttpqClient *list = channel("inetPlayList");
    HttpqClient *action = channel("inetPLAction");
    ASSERT_TRUE(action->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    // The fetch under way ends before its answer comes, and the one waiting
    // its turn behind it is abandoned without going out.
    std::optional<QString> waiting = QStringLiteral("unset");
    QTimer::singleShot(0, [&] { waiting = fetch(list, u"/stop?p="); });
    QTimer::singleShot(50, list, [list] { list->Cancel(); });
    EXPECT_EQ(fetch(list, u"/play?p="), std::nullopt);
    EXPECT_EQ(waiting, std::nullopt);
    EXPECT_EQ(m_lines.size(), 2);
    EXPECT_TRUE(action->IsBusy());

    QSignalSpy completed(list, &HttpqClient::ResponseCompleted);
    ASSERT_TRUE(list->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    list->Cancel();
    EXPECT_FALSE(list->IsBusy());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !action->IsBusy(); }, kTestTimeoutMs));
    EXPECT_EQ(completed.count(), 0);
    EXPECT_EQ(list->ReadChunk(1024), QString());
}

// What can happen while a synchronous request waits.

TEST_F(Transport, FetchSurvivesItsChannelBeingDeletedWhileItWaits)
{
    startSimulator(stalling());
    auto *window = new QObject;
    auto *net = new HttpqClient(QStringLiteral("NetworkConnection"), window);
    QTimer::singleShot(50, window, [window] { window->deleteLater(); });
    QPointer<HttpqClient> alive(net);
    EXPECT_EQ(fetch(net, kTitleUrlCommand), std::nullopt);
    EXPECT_TRUE(alive.isNull());
}

TEST_F(Transport, FetchEndsFailedWhenTheProgramQuitsWhileItWaits)
{
    startSimulator(stalling());
    HttpqClient *net = channel("NetworkConnection");
    // Quitting needs the application's own loop running, as in the program.
    std::optional<QString> answer = QStringLiteral("unset");
    QTimer::singleShot(0, [&] {
        QTimer::singleShot(50, qApp, &QCoreApplication::quit);
        answer = fetch(net, kTitleUrlCommand);
    });
    QCoreApplication::exec();
    EXPECT_EQ(answer, std::nullopt);
    EXPECT_FALSE(net->IsBusy());
    m_sim->setOptions({});
    EXPECT_EQ(fetch(net, u"/play?p="), u"1");
}

TEST_F(Transport, ARequestOnABusyChannelWaitsItsTurn)
{
    HttpqSimOptions slow;
    slow.delayMs = 600;
    startSimulator(slow);
    HttpqClient *net = channel("NetworkConnection");
    HttpqClient *status = channel("InetStatusCheck");
    std::optional<QString> inner;
    QStringList order;
    QTimer::singleShot(50, [&] {
        m_sim->setOptions({}); // only the first request is slow
        inner = fetch(status, u"/isplaying?p=");
        order.append(QStringLiteral("inner"));
        EXPECT_TRUE(net->IsBusy());
        EXPECT_EQ(fetch(net, u"/stop?p="), u"1");
        order.append(QStringLiteral("second"));
    });
    EXPECT_EQ(fetch(net, u"/play?p="), u"1");
    order.append(QStringLiteral("outer"));
    EXPECT_EQ(inner, u"0");
    EXPECT_EQ(order, QStringList({QStringLiteral("inner"), QStringLiteral("second"), QStringLiteral("outer")}));
    ASSERT_EQ(m_lines.size(), 3);
    EXPECT_TRUE(m_lines.at(2).startsWith("GET /stop?p= ")) << m_lines.at(2).toStdString();
}

// Servers that misbehave or answer oddly: each request ends with its result,
// by the fault or by the channel's time limit, while the windows go on.
struct ServerReply
{
    const char *name;
    HttpqSimOptions options;
    QStringList titles;
    bool playlist; // a StartGet of the playlist instead of a Fetch of the title
    std::optional<QString> expected;
};

void PrintTo(const ServerReply &reply, std::ostream *out)
{
    *out << reply.name;
}

std::vector<ServerReply> serverReplies()
{
    using Fault = HttpqSimOptions::Fault;
    HttpqSimOptions utf8;
    utf8.encoding = HttpqSimOptions::Encoding::Utf8;
    HttpqSimOptions reset;
    reset.fault = Fault::Reset;
    HttpqSimOptions drip;
    drip.dripMs = 40; // a byte well within the limit, the whole answer far past it
    const QStringList one = {QStringLiteral("Artist - Title")};
    const QString huge = QStringLiteral("a") + QString(99'000, QChar(0xE9));
    return {
        {"ResetMidPlaylist", reset, HttpqSimulator::generatedTitles(25), true, std::nullopt},
        {"DripPastTheTimeLimitFromTheStart", drip, one, false, std::nullopt},
        {"StallPastTheTimeLimit", stalling(), one, true, std::nullopt},
        {"Windows1252Title", {}, {QStringLiteral("Bj\u00f6rk \u2013 J\u00f3ga \u20ac")}, false,
         QStringLiteral("Bj\u00f6rk \u2013 J\u00f3ga \u20ac")},
        // 64 KiB of UTF-8 ends inside an "é": the answer stops before it.
        {"TitleOverTheBoundIsCutOnAWholeCharacter", utf8, {huge}, false,
         QStringLiteral("a") + QString(32'767, QChar(0xE9))},
        {"PlaylistOverTheTitleBoundComesWhole", utf8, {huge}, true, huge + QStringLiteral("<br>")},
    };
}

class TransportReplies : public Transport, public testing::WithParamInterface<ServerReply>
{
};

TEST_P(TransportReplies, EndWithTheirResultWhileTheWindowsGoOn)
{
    const ServerReply &reply = GetParam();
    HttpqSimOptions options = reply.options;
    options.delayMs = 100; // the windows' timer ticks during every wait
    startSimulator(options);
    setTitles(reply.titles);
    HttpqClient *net = channel(reply.playlist ? "inetPlayList" : "NetworkConnection", reply.expected ? 3000 : 800);
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(10);

    std::optional<QString> answer;
    if (reply.playlist) {
        QSignalSpy completed(net, &HttpqClient::ResponseCompleted);
        ASSERT_TRUE(net->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
        ASSERT_TRUE(QTest::qWaitFor([&] { return !net->IsBusy(); }, kTestTimeoutMs));
        if (!completed.isEmpty())
            answer = net->ReadChunk(1 << 30);
    } else {
        answer = fetch(net, kTitleUrlCommand);
    }
    EXPECT_TRUE(answer == reply.expected)
        << (answer ? QStringLiteral("%1 characters: %2").arg(answer->size()).arg(answer->left(60))
                   : QStringLiteral("a failure")).toStdString();
    EXPECT_FALSE(net->IsBusy());
    EXPECT_GT(ticks, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, TransportReplies, testing::ValuesIn(serverReplies()),
                         [](const testing::TestParamInfo<ServerReply> &info) { return info.param.name; });

} // namespace
