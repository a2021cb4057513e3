#pragma once

#include "core/async/task.h"
#include "core/httpq/httpq_url.h"
#include "core/text/numbers.h"
#include "services/httpq/playerline.h"

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
    // The pause before a request that failed is sent again.
    static constexpr int kRetryPauseMs = 500;
    // How often a request the player did not answer is sent again while it
    // is reachable.
    static constexpr int kRetryAttempts = 3;
    // How long a request that puts the player back as it was keeps being sent.
    static constexpr int kPutBackLimitMs = 10 * 60 * 1000;

    // What a request that the player did not answer does next.
    enum class Retry {
        // Fails: the handler goes on without its answer.
        None,
        // Goes again, up to kRetryAttempts in all, while the player answers
        // other requests (a connection cut on the way); for commands that do
        // the same however often they arrive.
        WhileReachable,
        // Goes again until the player answers it (for at most
        // kPutBackLimitMs): what puts the player back as it was before a
        // press that could not finish.
        UntilAnswered,
    };

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
    Request Fetch(const QString &url, Retry retry = Retry::None);
    // Starts a request; ResponseCompleted follows when the answer is in.
    // False on a busy channel.
    bool StartGet(const QString &url);
    QString ReadChunk(int size);
    // A request under way or waiting its turn.
    bool IsBusy() const;
    // Ends the request under way and those waiting their turn: each fails.
    void Cancel();
    // The same for the polls' requests alone: a press's stay as they are.
    void cancelPolls();
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

        PlayerLine::Press *press() const { return suspension.promise()->findScope<PlayerLine::Press>(); }
    };
    struct Sent
    {
        // The line's number for it, 0 without a line.
        quint64 number = 0;
        QElapsedTimer since;
    };

    void enqueue(Waiter waiter);
    void forget(const Request *request);
    void startNext();
    std::optional<Waiter> takeNext();
    void onFetchEnded(const std::optional<QString> &answer);
    void onRequestEnded();
    // The waiter's answer is in: it goes on from the event loop. A request
    // given up on (cancelled, dropped, refused) is not the player's answer.
    void answer(Waiter waiter, const std::optional<QString> &text, bool givenUp = false);
    void resumeNext();
    bool retryLater(Waiter &waiter);
    void retryDue();
    void onPressDropped(PlayerLine::Press *press);
    void onAnswered(quint64 number, bool returned);
    void giveUpCurrent();
    // The request under way ends, given up by the program; its waiter, if any.
    std::optional<Waiter> abandonCurrent();
    // A request leaves now: the line numbers it.
    Sent leaving();
    // The line hears how the request under way ended.
    void report(const std::optional<Sent> &sent, bool answered, bool givenUp);
    static void destroyWaiters(std::deque<Waiter> waiters);

    InetTransfer *m_transfer;
    QPointer<PlayerLine> m_line;
    std::deque<Waiter> m_waiting;
    std::optional<Waiter> m_current;
    std::optional<Sent> m_currentSent;
    // A request under way that the player may never answer is given up
    // when this fires: a poll's after twice the silence that makes the
    // player gone, any other once the player has answered later requests.
    QTimer m_giveUp;
    // StartGet's request under way, and whether its whole answer came.
    std::optional<Sent> m_getSent;
    bool m_getCompleted = false;
    // Requests that failed, waiting for their next try.
    std::deque<std::pair<Waiter, QElapsedTimer>> m_retrying;
    QTimer m_retryTimer;
    std::deque<Waiter> m_answered;
    bool m_starting = false;
    bool m_shutDown = false;
};

class HttpqClient::Request final
{
    Q_DISABLE_COPY_MOVE(Request)

public:
    Request(HttpqClient *channel, QString url, Retry retry)
        : m_channel(channel)
        , m_url(std::move(url))
        , m_retry(retry)
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
        if (PlayerLine::Press *press = frame.promise().template findScope<PlayerLine::Press>();
            press && !press->maySend()) {
            m_givenUp = true;
            return false;
        }
        m_registered = true;
        m_since.start();
        m_channel->enqueue(Waiter{m_url, this, async::Suspension(frame)});
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
    Retry m_retry;
    int m_attempts = 0;
    QElapsedTimer m_since;
    std::optional<QString> m_answer;
    bool m_registered = false;
    bool m_givenUp = false;
};
