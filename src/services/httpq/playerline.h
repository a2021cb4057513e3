#pragma once

#include "core/async/task.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <coroutine>
#include <deque>

// The one line from the person to the player, shared by every window's
// channels, and the one place that knows whether the player answers.
//
// A press (a click on the face, a key, a mark, a double-click in the
// playlist, a media control) starts with `co_await line->press();`. From
// there to the handler's end its requests, on whichever channel, are one
// press: presses go to the player one after the other in the order made,
// and a press's requests go before the polls' that wait on the same channel.
// A press that cannot start within kPressWaitMs, or that is made or still
// under way while the player does not answer, is dropped: every request it
// makes from then on fails at once, unsent. Nothing is ever sent late.
class PlayerLine final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PlayerLine)

public:
    // The player counts as gone once the polls have found nothing this long.
    static constexpr int kLostMs = 3000;
    // How long a press may wait to be sent before it is dropped.
    static constexpr int kPressWaitMs = 5000;
    // Presses waiting their turn; one more is dropped at once.
    static constexpr int kMaxWaiting = 64;

    class Press;
    class Turn;

    explicit PlayerLine(QObject *parent = nullptr);
    ~PlayerLine() override;

    // Awaited at the start of a press; the handler goes on when its turn
    // comes or the press was dropped.
    Turn press();

    // Each poll says whether the player answered; a poll that found its
    // channel still busy counts as no answer.
    void notePollAnswer(bool answered);
    // False once the polls have found nothing for kLostMs in a row, true
    // again at the first answer.
    bool isReachable() const { return !m_lost; }

    // How long a press may wait; for tests.
    void setPressWaitMs(int ms) { m_pressWaitMs = ms; }
    int pressWaitMs() const { return m_pressWaitMs; }

Q_SIGNALS:
    void reachableChanged(bool reachable);

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

    std::deque<Press *> m_waiting;
    Press *m_current = nullptr;
    std::deque<Press *> m_toResume;
    QTimer m_staleCheck;
    int m_pressWaitMs = kPressWaitMs;

    QElapsedTimer m_sinceAnswer;
    bool m_lost = false;
};

// What a press holds for its handler's whole run.
class PlayerLine::Press final : public async::ChainScope
{
    Q_DISABLE_COPY_MOVE(Press)

public:
    explicit Press(PlayerLine *line)
        : m_line(line)
    { }
    ~Press() override
    {
        if (m_line)
            m_line->leave(this);
    }

    // Dropped: its requests fail at once and are never sent.
    bool isDropped() const { return m_state == State::Dropped; }
    // Holding the line: its requests go before the polls'.
    bool isGoing() const { return m_state == State::Going; }
    // A request of this press waited too long on its channel.
    void drop()
    {
        if (m_line)
            m_line->drop(this);
    }

private:
    friend class PlayerLine;
    enum class State { Waiting, Going, Dropped };

    QPointer<PlayerLine> m_line;
    State m_state = State::Waiting;
    async::Suspension m_suspension;
    QElapsedTimer m_since;
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
