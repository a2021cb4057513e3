#include "HttpqSimulator.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
#include <QTimer>

#include <gtest/gtest.h>

namespace {

const QByteArray Headers = QByteArrayLiteral(
    "HTTP/1.0 200 OK\r\nServer: httpQ/3.1 (sim)\r\nContent-Type: text/html\r\n\r\n");

struct Reply
{
    QByteArray bytes;
    bool closed = false;
    QAbstractSocket::SocketError error = QAbstractSocket::UnknownSocketError;
};

// Sends raw bytes and collects everything until the server closes, or until
// the time limit so that no test can hang.
Reply exchange(quint16 port, const QByteArray &request, int timeoutMs = 5000)
{
    Reply reply;
    QTcpSocket socket;
    QEventLoop loop;
    QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
    QObject::connect(&socket, &QTcpSocket::readyRead, [&] { reply.bytes += socket.readAll(); });
    QObject::connect(&socket, &QTcpSocket::errorOccurred,
                     [&](QAbstractSocket::SocketError error) { reply.error = error; });
    QObject::connect(&socket, &QTcpSocket::disconnected, [&] {
        reply.closed = true;
        loop.quit();
    });
    socket.connectToHost(QHostAddress::LocalHost, port);
    socket.write(request);
    if (!reply.closed)
        loop.exec();
    // The socket's own destruction must not count as the server closing.
    socket.disconnect();
    return reply;
}

QByteArray get(quint16 port, const QByteArray &target)
{
    return exchange(port, "GET " + target + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n").bytes;
}

class HttpqSimTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(sim.listen(QHostAddress::LocalHost, 0));
        port = sim.serverPort();
    }

    QByteArray body(const QByteArray &target)
    {
        const QByteArray reply = get(port, target);
        EXPECT_TRUE(reply.startsWith(Headers)) << reply.constData();
        return reply.mid(Headers.size());
    }

    template<typename Change>
    void configure(Change change)
    {
        HttpqSimOptions options = sim.options();
        change(options);
        sim.setOptions(options);
    }

    void setTitles(const QStringList &titles)
    {
        HttpqPlayerState state = sim.state();
        state.titles = titles;
        sim.setState(state);
    }

    HttpqSimulator sim;
    quint16 port = 0;
};

TEST_F(HttpqSimTest, AnswersExactBytesAndReportsRequestLine)
{
    QByteArrayList lines;
    QObject::connect(&sim, &HttpqSimulator::requestReceived,
                     [&](const QByteArray &line) { lines.append(line); });
    const Reply reply = exchange(port, "GET /play?p= HTTP/1.0\r\n\r\n");
    EXPECT_EQ(reply.bytes, Headers + "1");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(lines, QByteArrayList{QByteArrayLiteral("GET /play?p= HTTP/1.0")});
    EXPECT_EQ(sim.requestsServed(), 1u);
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Playing);
}

TEST_F(HttpqSimTest, PasswordIsExactAndRootNeedsNone)
{
    configure([](auto &o) { o.password = QStringLiteral("Secret"); });
    EXPECT_EQ(body("/play?p=secret"), "0");
    EXPECT_EQ(body("/play"), "0");
    EXPECT_EQ(sim.state().playState, HttpqPlayerState::Stopped);
    EXPECT_EQ(body("/play?p=Secret"), "1");
    EXPECT_EQ(body("/"), "httpQ 3.1");
}

TEST_F(HttpqSimTest, NonAsciiPasswordsAreComparedInTheServersEncoding)
{
    // Windows-1252 where it has the character, UTF-8 for the rest.
    configure([](auto &o) { o.password = QStringLiteral("p\u00e4ss\u20ac\u0416"); });
    EXPECT_EQ(body("/play?p=p%C3%A4ss%E2%82%AC%D0%96"), "0");
    EXPECT_EQ(body("/play?p=p%E4ss%80%D0%96"), "1");
    configure([](auto &o) { o.encoding = HttpqSimOptions::Encoding::Utf8; });
    EXPECT_EQ(body("/play?p=p%E4ss%80%D0%96"), "0");
    EXPECT_EQ(body("/play?p=p%C3%A4ss%E2%82%AC%D0%96"), "1");
}

TEST_F(HttpqSimTest, PasswordIsPercentDecodedButPlusStays)
{
    setTitles({QStringLiteral("Only")});
    configure([](auto &o) { o.password = QStringLiteral("a b"); });
    EXPECT_EQ(body("/getcurrenttitle?p=a+b"), "0");
    EXPECT_EQ(body("/getcurrenttitle?p=a%20b"), "Only");
    configure([](auto &o) { o.password = QStringLiteral("a+b%"); });
    EXPECT_EQ(body("/getcurrenttitle?p=a+b%25"), "Only");
    EXPECT_EQ(body("/getcurrenttitle?p=a%2Bb%"), "Only");
}

TEST_F(HttpqSimTest, UnknownCommandsAndBadArgumentsAnswerZero)
{
    EXPECT_EQ(body("/frobnicate?p="), "0");
    EXPECT_EQ(body("/favicon.ico"), "0");
    EXPECT_EQ(body("/setplaylistpos?p="), "0");
    EXPECT_EQ(body("/setplaylistpos?p=&a=x"), "0");
    EXPECT_EQ(body("/getinfo?p=&a=3"), "0");
    EXPECT_EQ(body("/shuffle?p=&a=2"), "0");
    EXPECT_EQ(exchange(port, "POST /play?p= HTTP/1.0\r\n\r\n").bytes, Headers + "0");
}

TEST_F(HttpqSimTest, PlaylistTitles)
{
    setTitles({QStringLiteral("One"), QStringLiteral("Two"), QStringLiteral("Three")});
    EXPECT_EQ(body("/getplaylisttitle?p="), "One<br>Two<br>Three<br>");
    EXPECT_EQ(body("/getplaylisttitle?p=&a=1"), "Two");
    EXPECT_EQ(body("/getplaylisttitle?p=&a=3"), "0");
}

TEST_F(HttpqSimTest, TitleEncodings)
{
    setTitles({QStringLiteral("Björk – Jóga"), QStringLiteral("Кино €")});
    EXPECT_EQ(body("/getplaylisttitle?p=&a=0"), "Bj\xF6rk \x96 J\xF3ga");
    EXPECT_EQ(body("/getplaylisttitle?p=&a=1"), "???? \x80");
    configure([](auto &o) { o.encoding = HttpqSimOptions::Encoding::Utf8; });
    EXPECT_EQ(body("/getcurrenttitle?p="), "Bj\xC3\xB6rk \xE2\x80\x93 J\xC3\xB3ga");
    const QStringList generated = HttpqSimulator::generatedTitles(25);
    EXPECT_EQ(generated.at(0), QStringLiteral("Artist 1 - Song Title 1"));
    EXPECT_TRUE(generated.contains(QStringLiteral("Motörhead - Ace of Spades")));
}

TEST_F(HttpqSimTest, RequestMustFitIn2048Bytes)
{
    auto request = [](qsizetype size) {
        QByteArray head = QByteArrayLiteral("GET /play?p= HTTP/1.0\r\nX-Pad: ");
        return head + QByteArray(size - head.size() - 4, 'x') + "\r\n\r\n";
    };
    const Reply tooBig = exchange(port, request(2049));
    EXPECT_TRUE(tooBig.closed);
    EXPECT_TRUE(tooBig.bytes.isEmpty());
    EXPECT_EQ(sim.requestsServed(), 0u);
    EXPECT_EQ(exchange(port, request(2048)).bytes, Headers + "1");

    // Binary noise without an end of headers: closed, and the server lives on.
    QRandomGenerator noise(4800);
    QByteArray junk(5000, Qt::Uninitialized);
    for (char &c : junk)
        c = char(noise.bounded(256));
    junk.replace("\n", "\x01");
    const Reply closed = exchange(port, junk);
    EXPECT_TRUE(closed.closed);
    EXPECT_TRUE(closed.bytes.isEmpty());
    EXPECT_EQ(exchange(port, junk.left(100) + "\r\n\r\n").bytes, Headers + "0");
    EXPECT_EQ(body("/isplaying?p="), "1");
}

TEST_F(HttpqSimTest, NoHeadersAndDelay)
{
    configure([](auto &o) {
        o.delayMs = 200;
        o.sendHeaders = false;
    });
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(get(port, "/"), "httpQ 3.1");
    EXPECT_GE(timer.elapsed(), 190);
}

TEST_F(HttpqSimTest, FaultStallNeverAnswers)
{
    configure([](auto &o) { o.fault = HttpqSimOptions::Fault::Stall; });
    const Reply reply = exchange(port, "GET / HTTP/1.0\r\n\r\n", 300);
    EXPECT_FALSE(reply.closed);
    EXPECT_TRUE(reply.bytes.isEmpty());
    EXPECT_EQ(sim.requestsServed(), 1u);
}

TEST_F(HttpqSimTest, FaultResetCutsTheBody)
{
    configure([](auto &o) { o.fault = HttpqSimOptions::Fault::Reset; });
    const QByteArray full = sim.answer("/getplaylisttitle?p=");
    const Reply reply = exchange(port, "GET /getplaylisttitle?p= HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, Headers + full.left(full.size() / 2));
    EXPECT_EQ(reply.error, QAbstractSocket::RemoteHostClosedError);
}

TEST_F(HttpqSimTest, FaultDripSendsOneByteAtATime)
{
    configure([](auto &o) {
        o.dripMs = 30;
        o.sendHeaders = false;
    });
    QElapsedTimer timer;
    timer.start();
    const Reply reply = exchange(port, "GET / HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(reply.closed);
    EXPECT_EQ(reply.bytes, "httpQ 3.1");
    EXPECT_GE(timer.elapsed(), 8 * 30 - 10);
}

TEST_F(HttpqSimTest, FaultsOfTheHeaderBlock)
{
    configure([](auto &o) { o.fault = HttpqSimOptions::Fault::LongLength; });
    const Reply tooLong = exchange(port, "GET / HTTP/1.0\r\n\r\n");
    EXPECT_TRUE(tooLong.closed);
    EXPECT_EQ(tooLong.bytes, "HTTP/1.0 200 OK\r\nContent-Length: 109\r\n\r\nhttpQ 3.1");

    configure([](auto &o) { o.fault = HttpqSimOptions::Fault::HeaderFlood; });
    const Reply flood = exchange(port, "GET / HTTP/1.0\r\n\r\n", 300);
    EXPECT_FALSE(flood.closed);
    EXPECT_TRUE(flood.bytes.startsWith("HTTP/1.0 200 OK\r\nX-Flood: "));
    EXPECT_GT(flood.bytes.size(), 64 * 1024);
    EXPECT_FALSE(flood.bytes.contains("\n\r\n"));
}

TEST_F(HttpqSimTest, FaultGarbageSendsFourMegabytes)
{
    configure([](auto &o) { o.fault = HttpqSimOptions::Fault::Garbage; });
    const Reply reply = exchange(port, "GET / HTTP/1.0\r\n\r\n", 20000);
    EXPECT_TRUE(reply.closed);
    EXPECT_TRUE(reply.bytes.startsWith(Headers));
    EXPECT_EQ(reply.bytes.size(), Headers.size() + HttpqSimulator::GarbageSize);
}

TEST_F(HttpqSimTest, StateChanges)
{
    setTitles(HttpqSimulator::generatedTitles(5));
    EXPECT_EQ(body("/isplaying?p="), "0");
    EXPECT_EQ(body("/play?p="), "1");
    EXPECT_EQ(body("/isplaying?p="), "1");
    EXPECT_EQ(body("/pause?p="), "1");
    EXPECT_EQ(body("/isplaying?p="), "3");
    EXPECT_EQ(body("/pause?p="), "1");
    EXPECT_EQ(body("/isplaying?p="), "1");
    EXPECT_EQ(body("/stop?p="), "1");
    EXPECT_EQ(body("/isplaying?p="), "0");

    EXPECT_EQ(body("/shuffle?p=&a=1"), "1");
    EXPECT_EQ(body("/shuffle_status?p="), "1");
    EXPECT_EQ(body("/repeat?p=&a=1"), "1");
    EXPECT_EQ(body("/repeat_status?p="), "1");
    EXPECT_EQ(body("/repeat?p=&a=0"), "1");
    EXPECT_EQ(body("/repeat_status?p="), "0");

    EXPECT_EQ(body("/setplaylistpos?p=&a=3"), "1");
    EXPECT_EQ(body("/getlistpos?p="), "3");
    EXPECT_EQ(body("/getcurrenttitle?p="), "Mot\xF6rhead - Ace of Spades");
    EXPECT_EQ(body("/getinfo?p=&a=2"), QByteArray::number(HttpqSimulator::titleChannels(3)));
    // The length is -1 while stopped, as the real player reports it.
    EXPECT_EQ(body("/getoutputtime?p=&a=1"), "-1");
    EXPECT_EQ(body("/play?p="), "1");
    EXPECT_EQ(body("/getoutputtime?p=&a=1"),
              QByteArray::number(HttpqSimulator::titleLengthSeconds(3)));
    EXPECT_EQ(body("/pause?p="), "1");
    EXPECT_EQ(body("/getoutputtime?p=&a=1"),
              QByteArray::number(HttpqSimulator::titleLengthSeconds(3)));
    EXPECT_EQ(body("/setplaylistpos?p=&a=5"), "0");
    EXPECT_EQ(body("/next?p="), "1");
    EXPECT_EQ(body("/next?p="), "1");
    EXPECT_EQ(body("/getlistpos?p="), "0");
    EXPECT_EQ(body("/prev?p="), "1");
    EXPECT_EQ(sim.state().position, 4);
    EXPECT_TRUE(sim.state().shuffle);
}

TEST(HttpqSimExecutable, ServesOnAFreePort)
{
#ifndef HTTPQ_SIM_PATH
    GTEST_SKIP() << "built without the httpq-sim executable";
#else
    QProcess process;
    // A non-ASCII password on the command line, compared in Windows-1252.
    process.start(QStringLiteral(HTTPQ_SIM_PATH), {QStringLiteral("--port"), QStringLiteral("0"),
                                                   QStringLiteral("--password"), QStringLiteral("p\u00e4ssw\u00f6rd")});
    ASSERT_TRUE(process.waitForStarted(5000));
    QElapsedTimer timer;
    timer.start();
    while (!process.canReadLine() && timer.elapsed() < 5000)
        process.waitForReadyRead(100);
    const QByteArray line = process.readLine().trimmed();
    ASSERT_TRUE(line.startsWith("listening on 127.0.0.1:")) << line.constData();
    const auto port = quint16(line.mid(line.lastIndexOf(':') + 1).toUInt());
    EXPECT_EQ(get(port, "/getplaylisttitle?p=p%E4ssw%F6rd&a=0"), Headers + "Artist 1 - Song Title 1");
    process.kill();
    process.waitForFinished(5000);
#endif
}

} // namespace
