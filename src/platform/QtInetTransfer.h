#pragma once

#include "platform/InetTransfer.h"

#include <QByteArray>

class QEventLoop;
class QNetworkAccessManager;
class QNetworkReply;

// The transfer control over QNetworkAccessManager, without any proxy.
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
    void onFinished();
    void dropReply();

    QNetworkAccessManager *m_manager;
    QNetworkReply *m_reply = nullptr;
    QByteArray m_body;
    bool m_tooLarge = false;
    // The fetch waiting for the request under way, if it is synchronous.
    struct Wait;
    Wait *m_wait = nullptr;
    QString m_answer;
    qsizetype m_readPos = 0;
};
