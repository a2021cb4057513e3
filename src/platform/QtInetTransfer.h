#pragma once

#include "platform/InetTransfer.h"

#include <QByteArray>
#include <QTimer>

class QTcpSocket;

// The transfer control as a plain HTTP/1.0 client on a QTcpSocket, without
// any proxy: one connection per request, the answer read to the end of the
// connection (or of its Content-Length). QNetworkAccessManager is not used:
// when a server closes right after its answer, as httpQ does, it takes the
// close for a dropped connection now and then and sends the request again,
// and a command must never reach the player twice.
class QtInetTransfer final : public InetTransfer
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(QtInetTransfer)

public:
    // A body beyond this fails the request instead of filling the memory.
    static constexpr qint64 kMaxBodyBytes = qint64(128) << 20;

    explicit QtInetTransfer(QObject *parent = nullptr);
    ~QtInetTransfer() override;

    std::optional<QString> fetch(const QString &url) override;
    bool startGet(const QString &url) override;
    QString readChunk(int size) override;
    bool isBusy() const override;
    void cancel() override;

private:
    bool begin(const QString &url);
    void onReadyRead();
    void onDisconnected();
    void onError();
    // Ends the request under way; the answer is the body, or nothing.
    void finish(bool complete);
    bool haveWholeAnswer() const;
    void dropSocket();

    QTcpSocket *m_socket = nullptr;
    QByteArray m_request;
    QByteArray m_received;
    QTimer m_silence;
    struct Wait;
    // The fetch waiting for the request under way, if it is synchronous.
    Wait *m_wait = nullptr;
    QString m_answer;
    qsizetype m_readPos = 0;
};
