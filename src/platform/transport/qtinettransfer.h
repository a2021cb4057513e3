#pragma once

#include "core/httpq/httpreplyreader.h"
#include "core/text/code_page.h"
#include "platform/transport/inettransfer.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QSocketNotifier>
#include <QTimer>

#include <array>

class QHostInfo;

// The transfer control as a plain HTTP/1.0 client on a non-blocking socket
// watched by the event loop, without any proxy: one connection per request,
// the answer read to the server's orderly close (or to its Content-Length);
// a reset is a failure. Each request has its time limit from its start.
// QNetworkAccessManager is not used: when a server closes right after its
// answer, as httpQ does, it takes the close for a dropped connection now and
// then and sends the request again, and a command must never reach the
// player twice. Nor is QTcpSocket: it reads a reset as an orderly close, and
// its own bookkeeping made a request cost half again a bare socket's.
class QtInetTransfer final : public InetTransfer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtInetTransfer)

public:
    // A fetch answers one value, a title or a number: its body ends at this
    // bound, on a whole character, and the connection is dropped at once, so
    // a 10 MB title costs no more than the bound and still shows its start.
    static constexpr qsizetype kMaxAnswerBytes = 64 * 1024;
    // The playlist's bound: a body beyond it fails the request.
    static constexpr qsizetype kMaxBodyBytes = qsizetype(128) << 20;

    explicit QtInetTransfer(QObject *parent = nullptr);
    ~QtInetTransfer() override;

    bool startFetch(const QString &url) override;
    bool startGet(const QString &url) override;
    QString readChunk(int size) override;
    bool isBusy() const override;
    void cancel() override;

private:
    // A URL as its request goes out: the polls ask the same few URLs again
    // and again, so the last ones are kept parsed.
    struct Target
    {
        QString url;
        QString host;
        quint16 port = 80;
        QByteArray request;
    };
    const Target *target(const QString &url);
    bool begin(const QString &url, qsizetype maxBody, HttpReplyReader::Overflow overflow);
    void onHostFound(const QHostInfo &info);
    // Starts connecting to the server's next address; false when none is left.
    bool connectNext();
    enum class Sending { Done, Waiting, Failed };
    // Sends what is left of the request.
    Sending sendRest();
    void onWritable();
    void onReadable();
    // Ends the request under way; the answer is the body, or nothing.
    void finish(bool complete);
    void closeSocket();

    bool m_busy = false;
    // Counts the requests, so that a late notice of an earlier one is known.
    quint64 m_serial = 0;
    int m_lookupId = -1;
    QList<QHostAddress> m_addresses;
    qsizetype m_nextAddress = 0;
    quint16 m_port = 0;
    int m_fd = -1;
    bool m_connected = false;
    QSocketNotifier m_readable{QSocketNotifier::Read};
    QSocketNotifier m_writable{QSocketNotifier::Write};
    QByteArray m_request;
    qsizetype m_sent = 0;
    QByteArray m_piece;
    std::optional<HttpReplyReader> m_reply;
    QTimer m_deadline;
    // The request under way answers one value (fetchEnded), not a long answer.
    bool m_fetching = false;
    BodyText m_answer;
    std::array<Target, 4> m_targets;
    size_t m_nextTarget = 0;
};
