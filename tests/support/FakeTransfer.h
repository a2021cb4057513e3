#pragma once

#include "platform/InetTransfer.h"

#include <QList>
#include <QPointer>
#include <QString>

#include <functional>
#include <optional>

struct Exchange
{
    QString channel;
    QString url;
    bool operator==(const Exchange &) const = default;
};

class FakeTransfer;

// A scripted httpQ: while it lives, every transfer the program creates is a
// FakeTransfer that records each request (channel and URL, in order) and
// answers it through `answer`.
class FakeHttpq
{
public:
    FakeHttpq();
    ~FakeHttpq();

    // The answer to a request, or nothing for a failed one. By default every
    // request fails.
    std::function<std::optional<QString>(const QString &channel, const QString &url)> answer;

    QList<Exchange> log;
    QList<QPointer<FakeTransfer>> transfers;

    FakeTransfer *transfer(const QString &channel) const;
};

class FakeTransfer final : public InetTransfer
{
    Q_OBJECT

public:
    FakeTransfer(FakeHttpq &script, QObject *owner);

    std::optional<QString> fetch(const QString &url) override;
    bool startGet(const QString &url) override;
    QString readChunk(int size) override;
    bool isBusy() const override { return m_busy; }
    void cancel() override;

    // Ends the asynchronous request under way with its scripted answer.
    void completeGet();
    // Holds the channel busy, as a request still waiting would.
    void setBusy(bool busy);

private:
    FakeHttpq &m_script;
    bool m_busy = false;
    std::optional<QString> m_pending;
    QString m_answer;
};
