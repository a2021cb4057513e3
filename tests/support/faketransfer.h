#pragma once

#include "platform/transport/inettransfer.h"

#include <QList>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <optional>

struct Exchange
{
    QString channel;
    QString url;
};

class FakeTransfer;

// A scripted httpQ: while it lives, every transfer the program creates is a
// FakeTransfer that records each request (channel and URL, in order) and
// answers it through `answer`.
class FakeHttpq
{
public:
    FakeHttpq();
    ~FakeHttpq() { setInetTransferFactory({}); }

    // The answer to a request, or nothing for a failed one. By default every
    // request fails.
    std::function<std::optional<QString>(const QString &channel, const QString &url)> answer;
    // How long each answer takes to come, as from a player far away.
    int latencyMs = 0;

    QList<Exchange> log;
    QList<QPointer<FakeTransfer>> transfers;

    FakeTransfer *transfer(const QString &channel) const;
};

class FakeTransfer final : public InetTransfer
{
    Q_OBJECT

public:
    FakeTransfer(FakeHttpq &script, QObject *owner)
        : InetTransfer(owner)
        , m_script(script)
    { }

    // A fetch is answered at once, unless the channel is held: then the
    // request is recorded as sent and its answer waits for release(). A
    // long answer waits for completeGet().
    bool startFetch(const QString &url) override
    {
        if (!start(url))
            return false;
        m_fetching = true;
        if (m_held)
            return true;
        if (m_script.latencyMs <= 0) {
            endFetch();
            return true;
        }
        QTimer::singleShot(m_script.latencyMs, this, [this, request = m_requests] {
            if (m_fetching && !m_held && request == m_requests)
                endFetch();
        });
        return true;
    }
    bool startGet(const QString &url) override { return start(url); }
    QString readChunk(int size) override
    {
        const QString piece = m_answer.left(size);
        m_answer.remove(0, piece.size());
        return piece;
    }
    bool isBusy() const override { return m_busy; }
    void cancel() override
    {
        m_pending.reset();
        if (!std::exchange(m_busy, false))
            return;
        if (std::exchange(m_fetching, false))
            emit fetchEnded(std::nullopt);
        emit requestEnded();
    }

    void completeGet()
    {
        if (!std::exchange(m_busy, false))
            return;
        if (std::optional<QString> answer = std::exchange(m_pending, std::nullopt)) {
            m_answer = *answer;
            emit stateChanged(kResponseCompleted);
        }
        emit requestEnded();
    }
    // Holds the answers back, as a slow player would.
    void hold() { m_held = true; }
    void release()
    {
        m_held = false;
        if (m_fetching)
            endFetch();
    }
    // The request under way is never answered (the player lost it while it
    // hung); the ones after it are.
    void forsake()
    {
        m_held = false;
        m_forsaken = m_requests;
    }
    // Holds the channel busy, as a request of another window would.
    void setBusy(bool busy)
    {
        m_busy = busy;
        if (!busy)
            emit requestEnded();
    }

private:
    bool start(const QString &url)
    {
        if (m_busy)
            return false;
        m_busy = true;
        ++m_requests;
        m_script.log.append({objectName(), url});
        m_pending = m_script.answer ? m_script.answer(objectName(), url) : std::nullopt;
        return true;
    }
    void endFetch()
    {
        if (m_forsaken == m_requests)
            return;
        m_busy = false;
        m_fetching = false;
        emit fetchEnded(std::exchange(m_pending, std::nullopt));
        emit requestEnded();
    }

    FakeHttpq &m_script;
    bool m_busy = false;
    bool m_fetching = false;
    bool m_held = false;
    // Requests started, and the one that is never answered.
    int m_requests = 0;
    int m_forsaken = -1;
    std::optional<QString> m_pending;
    QString m_answer;
};

inline FakeHttpq::FakeHttpq()
{
    setInetTransferFactory([this](const QString &, QObject *owner) {
        auto *transfer = new FakeTransfer(*this, owner);
        transfers.append(transfer);
        return transfer;
    });
}

inline FakeTransfer *FakeHttpq::transfer(const QString &channel) const
{
    for (const auto &transfer : transfers) {
        if (transfer && transfer->objectName() == channel)
            return transfer;
    }
    return nullptr;
}
