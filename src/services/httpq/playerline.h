#pragma once

#include "core/async/task.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <coroutine>
#include <deque>
#include <map>
#include <vector>

// The one line from the person to the player, shared by every window's
// channels, and the one place that knows whether the player answers.
//
// A press (a click on the face, a key, a mark, a double-click in the
// playlist, a media control) starts with `co_await line->press();`. From
// there to the handler's end its requests, on whichever channel, are one
// press: presses go to the player one after the other in the order made,
// and a press's requests go before the polls' that wait on the same channel.
//
// A press that has not sent its first request within kPressWaitMs of being
// made, or that is made or still unsent while the player is gone, is
// dropped: every request it makes from then on fails at once, unsent, so
// nothing reaches the player late. Once its first request is on its way a
// press is never dropped: the handler carries it through to its end.
//
// The player is gone when it has answered nothing, on any channel, for
// kLostMs while requests waited on it (or failed); a slow answer is still
// an answer, and a busy channel says nothing about the player.
class PlayerLine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerLine)

public:
    // Silence this long, while requests wait on the player, means it is gone.
    static constexpr int kLostMs = 3000;
    // How long a press may wait to be sent before it is dropped.
    static constexpr int kPressWaitMs = 5000;
    // Presses waiting their turn; one more is dropped at once.
    static constexpr int kMaxWaiting = 64;
    // How many of the player's latest answers say how slow it is now.
    static constexpr int kRecentAnswers = 16;
    // The longest the program waits for a request that later ones overtook.
    static constexpr int kMaxPatienceMs = 30000;

    class Press;
    class Turn;

    explicit PlayerLine(QObject *parent = nullptr);
    ~PlayerLine() override;

    // Awaited at the start of a press; the handler goes on when its turn
    // comes or the press was dropped.
    Turn press();

    // The channels report every request they send to the player and how it
    // ended: answered, failed (refused, cut, timed out, never answered), or
    // given up by the program itself, which tells nothing about the player.
    // requestSent numbers the requests in the order they leave.
    quint64 requestSent();
    void requestAnswered(quint64 number);
    void requestFailed(quint64 number);
    void requestGivenUp(quint64 number);

    // False from kLostMs of silence on, true again at the first answer.
    bool isReachable() const { return !m_lost; }

    // How long a press may wait, and how much silence makes the player
    // gone; for tests.
    void setPressWaitMs(int ms);
    int pressWaitMs() const { return m_pressWaitMs; }
    void setLostMs(int ms) { m_lostMs = ms; }
    int lostMs() const { return m_lostMs; }
    // How long a request may take while the player answers later ones:
    // twice the slowest of its recent answers, and never less than twice
    // the silence that makes it gone. Answers cross the network each on a
    // connection of its own, and a slow one is not a lost one.
    int patienceMs() const;

Q_SIGNALS:
    void reachableChanged(bool reachable);
    // The player answered request `number`. Requests sent before it and still
    // waiting were overtaken, and after a silence (`returned`) they are lost.
    void answered(quint64 number, bool returned);
    // A press dropped before its first request left: a request of it that
    // waits on a channel fails there, unsent.
    void pressDropped(PlayerLine::Press *press);
    // Each press as its handler ends, and whether any of it was sent.
    void pressEnded(bool started);

private:
    friend class Press;
    friend class Turn;

    void enter(Press *press, async::Suspension suspension);
    void leave(Press *press);
    void drop(Press *press);
    void grantNext();
    void resumeLater(Press *press);
    void resumeNext();
    void dropStale();
    void armDeadline();
    bool isStale(const Press *press) const;
    // When the player's present silence began, or -1 while nothing waits on it.
    qint64 silenceStart() const;
    void checkSilence();
    void goLost();

    std::deque<Press *> m_waiting;
    Press *m_current = nullptr;
    std::deque<Press *> m_toResume;
    QTimer m_deadline;
    int m_pressWaitMs = kPressWaitMs;

    int m_lostMs = kLostMs;
    QTimer m_silenceCheck;
    QElapsedTimer m_clock;
    // The requests on their way, by number (the order they left), with the
    // time each left.
    std::map<quint64, qint64> m_inFlight;
    qint64 m_lastAnswerAt = -1;
    // How long the latest answers took, oldest first.
    std::vector<qint64> m_answerTimes;
    // When the first request that failed since the last answer had left.
    qint64 m_failedFrom = -1;
    quint64 m_lastNumber = 0;
    bool m_lost = false;
};

// What a press holds for its handler's whole run.
class PlayerLine::Press final : public async::ChainScope
{
    Q_DISABLE_COPY_MOVE(Press)

public:
    explicit Press(PlayerLine *line)
        : m_line(line)
    {
        m_made.start();
    }
    ~Press() override
    {
        if (m_line)
            m_line->leave(this);
    }

    // Dropped: its requests fail at once and are never sent.
    bool isDropped() const { return m_state == State::Dropped; }
    // Holding the line: its requests go before the polls'.
    bool isGoing() const { return m_state == State::Going; }
    // Its first request has gone to the player.
    bool hasStarted() const { return m_started; }
    // Whether a request of it may leave now. A press not yet started is
    // dropped here once its time is up, to the millisecond.
    bool maySend()
    {
        if (isDropped())
            return false;
        if (m_started || !m_line || !m_line->isStale(this))
            return true;
        m_line->drop(this);
        return false;
    }
    // A request of it went to the player: from now on it is never dropped.
    void noteSent() { m_started = true; }

private:
    friend class PlayerLine;
    enum class State { Waiting, Going, Dropped };

    QPointer<PlayerLine> m_line;
    State m_state = State::Waiting;
    bool m_started = false;
    async::Suspension m_suspension;
    QElapsedTimer m_made;
};

class PlayerLine::Turn final
{
public:
    explicit Turn(PlayerLine *line)
        : m_line(line)
    { }

    // Without a line (a window on its own) a press simply goes.
    bool await_ready() const noexcept { return !m_line; }
    // Goes on at once when the line is free or the press is dropped at once.
    template<typename Promise>
    requires std::derived_from<Promise, async::PromiseBase>
    bool await_suspend(std::coroutine_handle<Promise> frame)
    {
        auto press = std::make_unique<Press>(m_line);
        m_press = press.get();
        frame.promise().holdScope(std::move(press));
        m_line->enter(m_press, async::Suspension(frame));
        return m_press->m_state == Press::State::Waiting;
    }
    // Whether the press goes to the player.
    bool await_resume() const { return !m_press || !m_press->isDropped(); }

private:
    PlayerLine *m_line;
    Press *m_press = nullptr;
};
