#pragma once

#include "core/httpq/httpreplyreader.h"
#include "platform/transport/inettransfer.h"

#include <QByteArray>
#include <QTimer>

class QTcpSocket;

// The transfer control as a plain HTTP/1.0 client on a QTcpSocket, without
// any proxy: one connection per request, the answer read to the server's
// orderly close (or to its Content-Length); a reset is a failure. Each
// request has its time limit from its start. QNetworkAccessManager is not
// used: when a server closes right after its answer, as httpQ does, it takes
// the close for a dropped connection now and then and sends the request
// again, and a command must never reach the player twice.
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
    bool begin(const QString &url, qsizetype maxBody, HttpReplyReader::Overflow overflow);
    void onConnected();
    void onReadyRead();
    void onDisconnected();
    void onError();
    bool closedInOrder() const;
    // Ends the request under way; the answer is the body, or nothing.
    void finish(bool complete);
    void dropSocket();

    QTcpSocket *m_socket = nullptr;
    // A second descriptor of the connection, so that its TCP state can be
    // read after Qt has closed its own: Qt reports a reset as a close.
    int m_peekFd = -1;
    QByteArray m_request;
    std::optional<HttpReplyReader> m_reply;
    QTimer m_deadline;
    // The request under way answers one value (fetchEnded), not a long answer.
    bool m_fetching = false;
    QString m_answer;
    qsizetype m_readPos = 0;
};
