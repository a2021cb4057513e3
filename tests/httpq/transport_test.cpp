#include "services/httpq/httpqclient.h"
#include "httpqsimulator.h"
#include "core/settings/settings_store.h"
#include "core/settings/settings.h"
#include "support/await_task.h"

#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// Every request in these tests ends well before this, or the test fails.
constexpr int kTestTimeoutMs = 5000;

// The real HTTP transfer against the simulated player on loopback.
class Transport : public testing::Test
{
protected:
    void SetUp() override { resetSettingsRecord(); }
    void TearDown() override { resetSettingsRecord(); }

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
        return fetchAndWait(client, HttpqClient::BuildUrl(command));
    }

    std::unique_ptr<HttpqSimulator> m_sim;
    QByteArrayList m_lines;
    QObject m_owner;
};

// The password as the server holds it, in its encoding, and as the client
// holds it (the same where null). The server decodes %XX alone and compares
// bytes; the client sends Windows-1252 where it has the character, UTF-8 for
// the rest, '+' and "%XX" as they are, and escapes a lone '%' and what could
// end the line.
TEST_F(Transport, SettingsGoOnTheWireInTheServersEncodingAndCannotInject)
{
    using enum HttpqSimOptions::Encoding;
    const std::tuple<const char16_t *, HttpqSimOptions::Encoding, const char16_t *, const char *, const char *>
        cases[] = {
            {u"\u00e4 \u20ac\u0416\r\nX-Injected: 1#", Windows1252, nullptr, "1",
             "%E4%20%80%D0%96%0D%0AX-Injected:%201%23"},
            {u"%", Windows1252, u"%25", "1", "%25"},
            {u"a+b%", Windows1252, nullptr, "1", "a+b%25"},
            {u"Secret", Windows1252, u"secret", "0", "secret"},
            {u"\u0416", Utf8, nullptr, "1", "%D0%96"},
            {u"\u00e4", Utf8, nullptr, "0", "%E4"},
        };
    for (const auto &[server, encoding, client, answer, sent] : cases) {
        SCOPED_TRACE(sent);
        startSimulator({.password = QString::fromUtf16(server), .encoding = encoding});
        if (client)
            gHttpqPasswd = QString::fromUtf16(client);
        EXPECT_EQ(fetchAndWait(channel("NetworkConnection"), HttpqClient::BuildUrl(u"/shuffle?p=", u"&a=1")),
                  QString::fromLatin1(answer));
        EXPECT_EQ(m_lines.last(), "GET /shuffle?p=" + QByteArray(sent) + "&a=1 HTTP/1.0");
    }
}

TEST_F(Transport, CancelEndsTheRequestsOfItsOwnChannelOnly)
{
    startSimulator({.password = {}, .delayMs = 1000});
    HttpqClient *list = channel("inetPlayList");
    HttpqClient *action = channel("inetPLAction");
    ASSERT_TRUE(action->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
    // The fetch under way ends before its answer comes, and the one waiting
    // its turn behind it is abandoned without going out.
    auto underWay = fetchTask(list, HttpqClient::BuildUrl(u"/play?p="));
    auto waiting = fetchTask(list, HttpqClient::BuildUrl(u"/stop?p="));
    EXPECT_TRUE(list->IsBusy());
    QTimer::singleShot(50, list, [list] { list->Cancel(); });
    EXPECT_EQ(awaitTask(std::move(underWay)), std::make_optional(std::optional<QString>()));
    EXPECT_EQ(awaitTask(std::move(waiting)), std::make_optional(std::optional<QString>()));
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

// A server by name is looked up, each of its addresses tried in turn (the
// simulator listens on IPv4 alone, "localhost" may give ::1 first); a port
// where nothing listens fails the request.
TEST_F(Transport, AServerByNameIsFoundAndARefusedOneFails)
{
    startSimulator();
    gHttpqServer = u"localhost"_s;
    HttpqClient *net = channel("NetworkConnection");
    EXPECT_EQ(fetch(net, u"/isplaying?p="), std::make_optional(u"0"_s));
    gHttpqServer = u"127.0.0.1"_s;
    const quint16 port = m_sim->serverPort();
    m_sim.reset();
    gHttpqPort = QString::number(port);
    EXPECT_EQ(fetch(net, u"/isplaying?p="), std::nullopt);
    EXPECT_FALSE(net->IsBusy());
}

// What can happen while a request waits.

// A window's handler, as the program's are: bound to its window.
class Window : public QObject
{
public:
    explicit Window(QStringList &steps)
        : m_steps(steps)
        , net(new HttpqClient(QStringLiteral("NetworkConnection"), this))
    { }
    async::Task<> twoCommands()
    {
        m_steps.append(u"asked"_s);
        co_await net->Fetch(HttpqClient::BuildUrl(u"/play?p="));
        m_steps.append(u"answered"_s);
        co_await net->Fetch(HttpqClient::BuildUrl(u"/stop?p="));
    }

    QStringList &m_steps;
    HttpqClient *net;
};

// The window goes while its request waits, then while its answer is posted
// but not yet taken; or its channel shuts down while two of its handlers
// wait, and a third asks afterwards. Nothing more runs or is sent.
TEST_F(Transport, NothingOfAHandlerRunsOrIsSentOnceItsWindowOrChannelIsGone)
{
    startSimulator({.password = {}, .delayMs = 300});
    QStringList steps;
    for (const auto &[afterMs, shutDown] : {std::pair{50, false}, {300, false}, {50, true}}) {
        SCOPED_TRACE(testing::Message() << afterMs << (shutDown ? " shut down" : " deleted"));
        steps.clear();
        m_lines.clear();
        auto *window = new Window(steps);
        const QPointer<HttpqClient> net(window->net);
        std::vector<async::Task<>> handlers;
        handlers.push_back(window->twoCommands());
        if (shutDown)
            handlers.push_back(window->twoCommands());
        QTimer::singleShot(afterMs, [window, down = shutDown] { down ? window->net->shutDown() : delete window; });
        const auto ended = [&] {
            return std::all_of(handlers.begin(), handlers.end(),
                               [](const async::Task<> &task) { return task.isDone(); });
        };
        EXPECT_TRUE(QTest::qWaitFor(ended, kTestTimeoutMs));
        for (const async::Task<> &handler : handlers)
            EXPECT_TRUE(handler.wasDestroyed());
        if (shutDown) {
            handlers.push_back(window->twoCommands());
            EXPECT_TRUE(QTest::qWaitFor(ended, kTestTimeoutMs));
            delete window;
        }
        EXPECT_TRUE(net.isNull());
        // Answered after the window's request would have been.
        fetch(channel("other"), u"/getlistpos?p=");
        EXPECT_EQ(steps, QStringList(handlers.size(), u"asked"_s));
        EXPECT_EQ(m_lines, QByteArrayList({"GET /play?p= HTTP/1.0", "GET /getlistpos?p= HTTP/1.0"}));
    }
}

TEST_F(Transport, RequestsLeaveInTheOrderAskedOneAtATimeAndAFloodIsCapped)
{
    startSimulator({.password = {}, .delayMs = 100});
    HttpqClient *net = channel("NetworkConnection");
    const QStringList commands = {u"/pause?p="_s, u"/stop?p="_s, u"/play?p="_s, u"/next?p="_s, u"/prev?p="_s};
    std::vector<async::Task<std::optional<QString>>> tasks;
    for (const QString &command : commands)
        tasks.push_back(fetchTask(net, HttpqClient::BuildUrl(command)));
    // The first went out at once; the others wait their turn.
    EXPECT_TRUE(net->IsBusy());
    for (auto &task : tasks)
        EXPECT_EQ(awaitTask(std::move(task)), std::optional<QString>(u"1"_s));
    QByteArrayList expected;
    for (const QString &command : commands)
        expected.append("GET " + command.toLatin1() + " HTTP/1.0");
    EXPECT_EQ(m_lines, expected);

    // Beyond the waiting line's bound a request fails at once, unsent; the
    // waiting ones all go.
    m_lines.clear();
    tasks.clear();
    m_sim->setOptions({});
    for (int i = 0; i < HttpqClient::kMaxWaiting + 3; ++i)
        tasks.push_back(fetchTask(net, HttpqClient::BuildUrl(u"/volumeup?p="_s)));
    int refused = 0;
    for (auto &task : tasks)
        refused += task.isDone() && !*task.result();
    EXPECT_EQ(refused, 2);
    EXPECT_TRUE(waitUntil([&] { return !net->IsBusy(); }));
    EXPECT_EQ(m_lines.size(), HttpqClient::kMaxWaiting + 1);
}

TEST_F(Transport, MisbehavingServersEndEachRequestWithItsResultWhileTheWindowsGoOn)
{
    using Fault = HttpqSimOptions::Fault;
    const auto cp1252 = HttpqSimOptions::Encoding::Windows1252, utf8 = HttpqSimOptions::Encoding::Utf8;
    const QString huge = QStringLiteral("a") + QString(99'000, QChar(0xE9));
    // The server's fault, drip and encoding, its title; a playlist or a title asked for, and the answer.
    const std::tuple<const char *, Fault, int, HttpqSimOptions::Encoding, QString, bool, std::optional<QString>>
        cases[] = {
            {"reset mid-playlist", Fault::Reset, 0, cp1252, u"Artist - Title"_s, true, std::nullopt},
            // A byte well within the time limit, the whole answer far past it.
            {"drip past the time limit", Fault::None, 40, cp1252, u"Artist - Title"_s, false, std::nullopt},
            {"stall past the time limit", Fault::Stall, 0, cp1252, u"Artist - Title"_s, true, std::nullopt},
            {"a length past the body", Fault::LongLength, 0, cp1252, u"Artist - Title"_s, false, std::nullopt},
            {"headers without an end", Fault::HeaderFlood, 0, cp1252, u"Artist - Title"_s, true, std::nullopt},
            {"Windows-1252 title", Fault::None, 0, cp1252, u"Bj\u00f6rk \u2013 J\u00f3ga \u20ac"_s, false,
             u"Bj\u00f6rk \u2013 J\u00f3ga \u20ac"_s},
            // 64 KiB of UTF-8 ends inside an "é": the answer stops before it.
            {"title over the bound", Fault::None, 0, utf8, huge, false,
             QStringLiteral("a") + QString(32'767, QChar(0xE9))},
            {"playlist over the title bound", Fault::None, 0, utf8, huge, true, huge + QStringLiteral("<br>")},
        };
    for (const auto &[name, fault, dripMs, encoding, title, playlist, expected] : cases) {
        SCOPED_TRACE(name);
        // The delay lets the windows' timer tick during every wait.
        startSimulator({.password = {}, .encoding = encoding, .delayMs = 100, .dripMs = dripMs, .fault = fault});
        setTitles({title});
        HttpqClient *net = channel(playlist ? "inetPlayList" : "NetworkConnection", expected ? 3000 : 800);
        int ticks = 0;
        QTimer ticker;
        QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
        ticker.start(10);
        std::optional<QString> answer;
        if (playlist) {
            // One request at a time; a long answer is read in pieces once complete.
            QSignalSpy completed(net, &HttpqClient::ResponseCompleted);
            ASSERT_TRUE(net->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
            EXPECT_FALSE(net->StartGet(HttpqClient::BuildUrl(u"/getplaylisttitle?p=")));
            ASSERT_TRUE(QTest::qWaitFor([&] { return !net->IsBusy(); }, kTestTimeoutMs));
            for (QString piece; !completed.isEmpty() && !(piece = net->ReadChunk(1024)).isEmpty();) {
                EXPECT_LE(piece.size(), 1024);
                answer = answer.value_or(QString()) + piece;
            }
            EXPECT_LE(completed.count(), 1);
        } else {
            answer = fetch(net, u"/getcurrenttitle?p=");
        }
        EXPECT_TRUE(answer == expected) << (answer ? u"%1 characters: %2"_s.arg(answer->size()).arg(answer->left(60))
                                                   : u"a failure"_s)
                                               .toStdString();
        EXPECT_FALSE(net->IsBusy());
        EXPECT_GT(ticks, 0);
    }
}

} // namespace
