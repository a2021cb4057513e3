#pragma once

// The internet transfer control: HTTP GET requests, one at a time, either
// for one value (the whole body as text, in fetchEnded) or for a long answer
// (a completion notice, then the body read in pieces), with a busy query, a
// cancel and a time-out. Nothing here waits: every end is a signal.

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class InetTransfer : public QObject
{
    Q_OBJECT

public:
    static constexpr int kDefaultTimeoutMs = 60'000;
    // The transfer's state code for "the whole answer has arrived".
    static constexpr int kResponseCompleted = 12;

    using QObject::QObject;

    // Starts a request for one value, such as a title or a number;
    // fetchEnded follows with the answer, or with nothing when the request
    // failed, timed out or was cancelled. False when it could not be started
    // (a request under way, an unusable URL): then no signal follows.
    virtual bool startFetch(const QString &url) = 0;
    // Starts a request and returns; stateChanged(kResponseCompleted) follows
    // when the answer is complete. False when it could not be started.
    virtual bool startGet(const QString &url) = 0;
    // The next piece of the completed answer; empty once it is used up.
    virtual QString readChunk(int size) = 0;
    virtual bool isBusy() const = 0;
    virtual void cancel() = 0;

    // A request fails this long after it started, whatever has arrived.
    void setRequestTimeout(int ms) { m_timeoutMs = ms; }
    int requestTimeout() const { return m_timeoutMs; }

Q_SIGNALS:
    void fetchEnded(const std::optional<QString> &answer);
    void stateChanged(int state);
    // The request under way ended, whichever way: the transfer is free.
    void requestEnded();

private:
    int m_timeoutMs = kDefaultTimeoutMs;
};

// Every transfer of the program is made here, so that tests can put a
// scripted transfer in place of the real one.
using InetTransferFactory = std::function<InetTransfer *(const QString &name, QObject *owner)>;
InetTransfer *createInetTransfer(const QString &name, QObject *owner);
// An empty factory restores the real HTTP transfer.
void setInetTransferFactory(InetTransferFactory factory);
