#pragma once

#include "httpq/answer_conversions.h"
#include "httpq/httpq_url.h"

#include <QObject>
#include <QString>

#include <optional>

class InetTransfer;

// One httpQ channel: forms the request URLs and carries one request at a time
// over its transfer control. Each window owns its channels; the channel's
// name ("NetworkConnection", "inetPlayList", ...) is its object name.
class HttpqClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpqClient)

public:
    HttpqClient(const QString &channelName, QObject *owner);

    static QString BuildUrl(QStringView command, QStringView argument = {})
    {
        return FormHttpqUrl(command, argument);
    }
    static std::optional<qint16> LeadingNumber(QStringView answer) { return ::LeadingNumber(answer); }
    static std::optional<qint16> WholeNumber(QStringView answer) { return ::WholeNumber(answer); }

    // The answer (a title or a number, cut at 64 KiB), or nothing when the
    // request failed, timed out or was cancelled. On a busy channel it first
    // waits for the request under way to end. The windows stay served while
    // it waits; the channel (and its window) may be gone when it returns.
    std::optional<QString> Fetch(const QString &url);
    // Starts a request; ResponseCompleted follows when the answer is in.
    bool StartGet(const QString &url);
    QString ReadChunk(int size);
    bool IsBusy() const;
    void Cancel();

    void setRequestTimeout(int ms);
    InetTransfer *transfer() const { return m_transfer; }

Q_SIGNALS:
    void ResponseCompleted();

private:
    bool waitForTurn();

    InetTransfer *m_transfer;
    // Counts the cancels, so that a request waiting its turn sees one.
    quint64 m_cancels = 0;
};
