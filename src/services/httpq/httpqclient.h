#pragma once

#include "core/httpq/httpq_url.h"
#include "core/text/numbers.h"
#include "services/httpq/playerline.h"
#include "core/async/task.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <coroutine>
#include <deque>
#include <optional>

class InetTransfer;

// One httpQ channel: forms the request URLs and carries one request at a time
// over its transfer control. Each window owns its channels; the channel's
// name ("NetworkConnection", "inetPlayList", ...) is its object name.
//
// Fetch is awaited: `const auto title = co_await channel->Fetch(url);`. The
// requests of a channel go out one after the other, those of a press (see
// PlayerLine) before the polls' and otherwise in the order they were asked
// for; the coroutine that asked goes on from the event loop once its answer
// is in (or the request failed), never from inside another handler.
class HttpqClient final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpqClient)

public:
    // Requests a channel keeps waiting behind the one under way; one more
    // fails at once, unsent, so a flood of commands cannot grow without end.
    static constexpr int kMaxWaiting = 64;

    class Request;

    // A channel without a player line takes every request as a poll's.
    HttpqClient(const QString &channelName, QObject *owner, PlayerLine *line = nullptr);
    // Destroys every coroutine still waiting here, without going on with it.
    ~HttpqClient() override;

    // A command's URL for the player the settings name.
    static QString BuildUrl(QStringView command, QStringView argument = {});
    static std::optional<qint16> LeadingNumber(QStringView answer) { return ::LeadingNumber(answer); }
    static std::optional<qint16> WholeNumber(QStringView answer) { return ::WholeNumber(answer); }

    // Awaited: the answer (a title or a number, cut at 64 KiB), or nothing
    // when the request failed, timed out, was cancelled or dropped, or found
    // the channel's waiting line full.
    Request Fetch(const QString &url);
    // Starts a request; ResponseCompleted follows when the answer is in.
    // False on a busy channel.
    bool StartGet(const QString &url);
    QString ReadChunk(int size);
    // A request under way or waiting its turn.
    bool IsBusy() const;
    // Ends the request under way and those waiting their turn: each fails.
    void Cancel();
    // For good, as the program closes: the requests under way and waiting
    // are dropped, and every coroutine waiting here, now or later, is
    // destroyed without going on. Nothing more is sent.
    void shutDown();

    void setRequestTimeout(int ms);
    InetTransfer *transfer() const { return m_transfer; }

Q_SIGNALS:
    void ResponseCompleted();

private:
    struct Waiter
    {
        QString url;
        Request *request;
        async::Suspension suspension;
        QElapsedTimer since;

        PlayerLine::Press *press() const { return suspension.promise()->findScope<PlayerLine::Press>(); }
    };

    void enqueue(Waiter waiter);
    void forget(const Request *request);
    void startNext();
    std::optional<Waiter> takeNext();
    void onFetchEnded(const std::optional<QString> &answer);
    // The waiter's answer is in: it goes on from the event loop. A request
    // given up on (cancelled, dropped, refused) is not the player's answer.
    void answer(Waiter waiter, const std::optional<QString> &text, bool givenUp = false);
    void resumeNext();
    void dropStalePresses();
    static void destroyWaiters(std::deque<Waiter> waiters);

    InetTransfer *m_transfer;
    QPointer<PlayerLine> m_line;
    QTimer m_staleCheck;
    std::deque<Waiter> m_waiting;
    std::optional<Waiter> m_current;
    std::deque<Waiter> m_answered;
    bool m_starting = false;
    bool m_shutDown = false;
};

class HttpqClient::Request final
{
    Q_DISABLE_COPY_MOVE(Request)

public:
    Request(HttpqClient *channel, QString url)
        : m_channel(channel)
        , m_url(std::move(url))
    { }
    ~Request()
    {
        if (m_registered && m_channel)
            m_channel->forget(this);
    }

    bool await_ready()
    {
        m_givenUp = !m_channel || (!m_channel->m_shutDown && m_channel->m_waiting.size() >= kMaxWaiting);
        return m_givenUp;
    }
    // Goes on at once, unsent, for a press that was dropped.
    template<typename Promise>
    requires std::derived_from<Promise, async::PromiseBase>
    bool await_suspend(std::coroutine_handle<Promise> frame)
    {
        if (const PlayerLine::Press *press = frame.promise().template findScope<PlayerLine::Press>();
            press && press->isDropped()) {
            m_givenUp = true;
            return false;
        }
        m_registered = true;
        Waiter waiter{m_url, this, async::Suspension(frame), {}};
        waiter.since.start();
        m_channel->enqueue(std::move(waiter));
        return true;
    }
    std::optional<QString> await_resume() { return std::move(m_answer); }

    // Nothing came because the program gave the request up (a cancel, a
    // dropped press, a full waiting line), not because the player did not
    // answer: what it was to read is as unknown as before.
    bool wasGivenUp() const { return m_givenUp; }

private:
    friend class HttpqClient;

    QPointer<HttpqClient> m_channel;
    QString m_url;
    std::optional<QString> m_answer;
    bool m_registered = false;
    bool m_givenUp = false;
};
