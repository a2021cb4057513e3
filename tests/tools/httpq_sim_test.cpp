#include "httpqsimulator.h"
#include "support/await_task.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QTcpSocket>

using namespace Qt::StringLiterals;

namespace {

const QByteArray kHeaders = QByteArrayLiteral(
    "HTTP/1.0 200 OK\r\nServer: httpQ/3.1 (sim)\r\nContent-Type: text/html\r\n\r\n");

struct Reply
{
    QByteArray bytes;
    bool closed = false;
};

// Sends raw bytes and collects everything until the server closes, or until
// the time limit so that no test can hang.
Reply exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    Reply reply;
    reply.closed = waitUntil([&] { return socket.state() == QAbstractSocket::UnconnectedState; }, timeoutMs);
    reply.bytes = socket.readAll();
    return reply;
}

QByteArray get(quint16 port, const QByteArray &target)
{
    return exchange(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n").bytes;
}

class HttpqSimTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0)); }
    QByteArray get(const QByteArray &target) { return ::get(sim.serverPort(), target); }

    HttpqSimulator sim;
};

// The answer as the real plugin gives it, to a request that fits in 2048
// bytes: the headers, the body, then the connection closed.
TEST_F(HttpqSimTest, AnswersExactBytesAndReportsRequestLine)
{
    QByteArrayList lines;
    QObject::connect(&sim, &HttpqSimulator::requestReceived, [&](const QByteArray &line) { lines.append(line); });
    const auto request = [](qsizetype size) {
        const QByteArray head = QByteArrayLiteral("GET /play?p= HTTP/1.0\r\nX-Pad: ");
        return head + QByteArray(size - head.size() - 4, 'x') + "\r\n\r\n";
    };
    const Reply tooBig = exchange(sim.serverPort(), request(2049));
    EXPECT_TRUE(tooBig.closed && tooBig.bytes.isEmpty());
    EXPECT_EQ(sim.requestsServed(), 0u);
    const Reply reply = exchange(sim.serverPort(), request(2048));
    EXPECT_EQ(reply.bytes, kHeaders + "1");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(lines, QByteArrayList{QByteArrayLiteral("GET /play?p= HTTP/1.0")});
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Playing);
    EXPECT_EQ(exchange(sim.serverPort(), "POST /stop?p= HTTP/1.0\r\n\r\n").bytes, kHeaders + "0");
    sim.setOptions({.password = {}, .sendHeaders = false});
    EXPECT_EQ(get("/"), "httpQ 3.1");
    // The faults the client meets in the transport's tests aside: garbage after the headers.
    sim.setOptions({.password = {}, .fault = HttpqSimOptions::Fault::Garbage});
    EXPECT_EQ(exchange(sim.serverPort(), "GET / HTTP/1.0\r\n\r\n", 20000).bytes.size(),
              kHeaders.size() + HttpqSimulator::kGarbageSize);
}

TEST_F(HttpqSimTest, CommandsAnswerAndChangeThePlayer)
{
    HttpqPlayerState state = sim.state();
    state.titles = {u"One"_s, u"Bj\u00f6rk \u2013 J\u00f3ga"_s, u"\u041a\u0438\u043d\u043e \u20ac"_s,
                    u"Mot\u00f6rhead"_s, u"Five"_s};
    sim.setState(state);
    const QByteArray length3 = QByteArray::number(HttpqSimulator::titleLengthSeconds(3));
    const std::pair<const char *, QByteArray> script[] = {
        {"/play?p=", "1"},
        {"/pause?p=", "1"},
        {"/isplaying?p=", "3"},
        {"/pause?p=", "1"},
        {"/isplaying?p=", "1"},
        {"/stop?p=", "1"},
        {"/isplaying?p=", "0"},
        {"/repeat?p=&a=1", "1"},
        {"/repeat_status?p=", "1"},
        {"/setplaylistpos?p=&a=3", "1"},
        {"/getlistpos?p=", "3"},
        {"/getcurrenttitle?p=", "Mot\xF6rhead"},
        // The length is -1 while stopped, as the real player reports it.
        {"/getoutputtime?p=&a=1", "-1"},
        {"/play?p=", "1"},
        {"/pause?p=", "1"},
        {"/getoutputtime?p=&a=1", length3},
        // A jump moves the paused song's position, at most to its end.
        {"/jumptotime?p=&a=5000", "1"},
        {"/getoutputtime?p=&a=0", "5000"},
        {"/jumptotime?p=&a=99999999", "1"},
        {"/getoutputtime?p=&a=0", length3 + "000"},
        {"/jumptotime?p=", "0"},
        {"/next?p=", "1"},
        {"/next?p=", "1"},
        {"/getlistpos?p=", "0"},
        {"/prev?p=", "1"},
        {"/getlistpos?p=", "4"},
        // Windows-1252, with '?' for what it lacks.
        {"/getplaylisttitle?p=", "One<br>Bj\xF6rk \x96 J\xF3ga<br>???? \x80<br>Mot\xF6rhead<br>Five<br>"},
        {"/getplaylisttitle?p=&a=1", "Bj\xF6rk \x96 J\xF3ga"},
        {"/getplaylisttitle?p=&a=5", "0"},
        // The volume, 0 to 255, set by its name "level" and read back.
        {"/setvolume?p=&level=77", "1"},
        {"/getvolume?p=", "77"},
        {"/volumeup?p=", "1"},
        {"/getvolume?p=", "81"},
        {"/setvolume?p=&level=256", "0"},
        {"/setvolume?p=&a=10", "0"},
        {"/getvolume?p=", "81"},
        // Unknown commands and bad arguments.
        {"/frobnicate?p=", "0"},
        {"/setplaylistpos?p=", "0"},
        {"/setplaylistpos?p=&a=5", "0"},
        {"/shuffle?p=&a=2", "0"},
    };
    for (const auto &[target, body] : script)
        EXPECT_EQ(get(target), kHeaders + body) << target;
    sim.setOptions({.password = {}, .encoding = HttpqSimOptions::Encoding::Utf8});
    EXPECT_EQ(get("/getplaylisttitle?p=&a=1"), kHeaders + "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga");
}

// The network and the player as far away ones are: answers after a random
// delay, connections cut, a hang whose requests are answered when it ends,
// a sleep that refuses connections; each switched while the player runs.
TEST_F(HttpqSimTest, DelaysCutsHangsAndSleepsWhileItRuns)
{
    QElapsedTimer clock;
    clock.start();
    sim.setOptions({.password = {}, .delayMs = 50, .delaySpreadMs = 100});
    EXPECT_EQ(get("/isplaying?p="), kHeaders + "0");
    EXPECT_GE(clock.elapsed(), 50);

    sim.setOptions({.password = {}, .dropPercent = 100});
    const Reply cut = exchange(sim.serverPort(), "GET /play?p= HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(cut.closed && cut.bytes.isEmpty());
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Stopped);

    sim.setOptions({});
    sim.hang(300);
    clock.restart();
    EXPECT_EQ(get("/play?p="), kHeaders + "1");
    EXPECT_GE(clock.elapsed(), 250);
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Playing);

    sim.sleep(300);
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, sim.serverPort());
    EXPECT_TRUE(waitUntil([&] { return refused.error() == QAbstractSocket::ConnectionRefusedError; }));
    EXPECT_TRUE(waitUntil([&] { return sim.isListening(); }));
    EXPECT_EQ(get("/isplaying?p="), kHeaders + "1");
}

TEST(HttpqSimExecutable, ServesOnAFreePort)
{
    QProcess process;
    // A non-ASCII password on the command line, compared in Windows-1252.
    process.start(QStringLiteral(HTTPQ_SIM_PATH),
                  {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--password"),
                   QStringLiteral("p\u00e4ssw\u00f6rd")});
    ASSERT_TRUE(process.waitForStarted(5000));
    for (int i = 0; i < 50 && !process.canReadLine(); ++i)
        process.waitForReadyRead(100);
    const QByteArray line = process.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.constData();
    const auto port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    EXPECT_EQ(get(port, "/getplaylisttitle?p=p%E4ssw%F6rd&a=0"), kHeaders + "Artist 1 - Song Title 1");
    // Its ways switched from its standard input.
    process.write("drop 100\n");
    EXPECT_TRUE(waitUntil([&] { return get(port, "/").isEmpty(); }));
    process.write("drop 0\n");
    EXPECT_TRUE(waitUntil([&] { return get(port, "/") == kHeaders + "httpQ 3.1"; }));
    process.kill();
    process.waitForFinished(5000);
}

} // namespace
