#pragma once

// A stand-in for the player and its httpQ plugin: answers the plugin's
// commands over plain HTTP on a QTcpServer, byte for byte like the real one.

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <utility>
#include <vector>

class QTcpServer;
class QTcpSocket;

struct HttpqSimOptions
{
    enum class Encoding { Windows1252, Utf8 };
    // Misbehaviours for client tests: Stall never answers, Reset sends the
    // headers and half the body then resets the connection, Garbage sends
    // the headers and 4 MiB of random bytes, HeaderFlood sends 4 MiB of
    // header lines and holds the connection open, LongLength declares a
    // Content-Length 100 bytes longer than the body it sends before closing.
    enum class Fault { None, Stall, Reset, Garbage, HeaderFlood, LongLength };

    QString password;
    Encoding encoding = Encoding::Windows1252;
    int delayMs = 0;
    // Above 0, each answer waits a further random 0 to delaySpreadMs.
    int delaySpreadMs = 0;
    // The share of connections, in percent, cut (reset) once their request
    // has arrived, before the player carries it out.
    int dropPercent = 0;
    // Above 0, every reply goes out one byte each dripMs milliseconds.
    int dripMs = 0;
    bool sendHeaders = true;
    Fault fault = Fault::None;
};

struct HttpqPlayerState
{
    enum PlayState { Stopped = 0, Playing = 1, Paused = 3 };

    QStringList titles;
    int position = 0; // 0-based list position
    int playState = Stopped;
    bool shuffle = false;
    bool repeat = false;
    int volume = 200; // 0..255
    qint64 outputTimeMs = 0; // position in the current title
};

class HttpqSimulator : public QObject
{
    Q_OBJECT

public:
    static constexpr quint16 kDefaultPort = 4800;
    static constexpr qsizetype kMaxRequestSize = 2048;
    static constexpr qsizetype kGarbageSize = 4 * 1024 * 1024;

    explicit HttpqSimulator(const HttpqSimOptions &options = {}, QObject *parent = nullptr);
    ~HttpqSimulator() override;

    bool listen(const QHostAddress &address = QHostAddress::LocalHost, quint16 port = kDefaultPort);
    void close();
    bool isListening() const;
    quint16 serverPort() const;
    QHostAddress serverAddress() const;
    QString errorString() const;

    HttpqSimOptions options() const { return m_options; }
    void setOptions(const HttpqSimOptions &options) { m_options = options; }

    // outputTimeMs reads as the live play position; setting it restarts the clock.
    HttpqPlayerState state() const;
    void setState(const HttpqPlayerState &state);

    // Complete requests received (answered or, in a fault mode, mistreated).
    quint64 requestsServed() const { return m_requestsServed; }

    // The player hangs for this long: the requests that arrive meanwhile are
    // answered (each after its delay) when it ends, as the plugin answers
    // them once the player's window takes its messages again.
    void hang(int ms);
    // The player's computer sleeps for this long: connections are refused
    // and those open are cut; then the simulator listens again on the same
    // address and port.
    void sleep(int ms);
    bool isHanging() const { return m_hangEnd.isActive(); }
    bool isAsleep() const { return m_wake.isActive(); }

    // "Artist N - Song Title N", with a few non-ASCII titles in fixed places.
    static QStringList generatedTitles(int count);
    // Characters outside Windows-1252 become '?'.
    static QByteArray encodeText(const QString &text, HttpqSimOptions::Encoding encoding);
    // The bytes a request must carry as its password: in Windows-1252 mode
    // the code page's byte where it has the character and UTF-8 for the rest,
    // as the client sends it.
    static QByteArray passwordBytes(const QString &password, HttpqSimOptions::Encoding encoding);

    // Carries out a request target such as "/play?p=x" and returns the body
    // it answers; public so that tests can compute expected bodies.
    QByteArray answer(const QByteArray &target);

    // Per-title details derived from the index so every run reports the same.
    static int titleLengthSeconds(int index);
    static int titleSampleRateKhz(int index);
    static int titleBitrateKbps(int index);
    static int titleChannels(int index);

signals:
    // The request line as received, without its line end.
    void requestReceived(const QByteArray &requestLine);

private:
    struct Connection;

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket, Connection &connection);
    void respondLater(QTcpSocket *socket, const QByteArray &target);
    void endHang();
    void wake();
    void respond(QTcpSocket *socket, const QByteArray &target);
    void drip(QTcpSocket *socket, const QByteArray &reply);
    QByteArray headers() const;
    void advanceClock();
    void setOutputTime(qint64 outputTimeMs);
    void moveTo(int position);

    HttpqSimOptions m_options;
    // While playing, the output time is m_clock.elapsed() - m_originMs and
    // m_state.outputTimeMs is stale; otherwise m_state.outputTimeMs holds it.
    HttpqPlayerState m_state;
    QElapsedTimer m_clock;
    qint64 m_originMs = 0;
    QTcpServer *m_server = nullptr;
    quint64 m_requestsServed = 0;
    QTimer m_hangEnd;
    std::vector<std::pair<QPointer<QTcpSocket>, QByteArray>> m_held;
    QTimer m_wake;
    QHostAddress m_address;
    quint16 m_port = 0;
};
