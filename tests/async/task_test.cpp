#include "core/async/task.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace {

// A leaf wait that the test ends by hand.
struct Gate
{
    struct Awaiter
    {
        Gate &gate;
        bool await_ready() const { return false; }
        template<typename Promise>
        void await_suspend(std::coroutine_handle<Promise> frame)
        {
            gate.waiting = async::Suspension(frame);
        }
        void await_resume() const { }
    };
    async::Suspension waiting;
    Awaiter wait() { return Awaiter{*this}; }
};

struct Owner : QObject
{
    Gate *gate = nullptr;
    QStringList *steps = nullptr;
    std::function<void()> whileRunning;

    async::Task<QString> child()
    {
        co_await gate->wait();
        steps->append(QStringLiteral("child"));
        if (whileRunning)
            whileRunning();
        co_return QStringLiteral("answer");
    }
    async::Task<> parent(Owner *other)
    {
        const QString answer = co_await other->child();
        steps->append(QStringLiteral("parent ") + answer);
    }
};

struct Marker : async::ChainScope
{
    explicit Marker(int *alive)
        : m_alive(alive)
    {
        ++*m_alive;
    }
    ~Marker() override { --*m_alive; }
    int *m_alive;
};

// With `alive`, takes a Marker as the awaiting coroutine's scope; else says
// in `found` whether the awaiting coroutine finds a Marker up its chain.
struct MarkerAwaiter
{
    int *alive = nullptr;
    bool *found = nullptr;
    bool await_ready() const { return false; }
    template<typename Promise>
    bool await_suspend(std::coroutine_handle<Promise> frame)
    {
        if (alive)
            frame.promise().holdScope(std::make_unique<Marker>(alive));
        else
            *found = frame.promise().template findScope<Marker>() != nullptr;
        return false;
    }
    void await_resume() const { }
};

// A parent bound to an object that goes while its child, bound to another,
// waits or runs: the child may end, the parent must not go on.
TEST(Task, AParentWhoseObjectWentNeverGoesOnWhenItsChildEnds)
{
    Gate gate;
    QStringList steps;
    auto parentObject = std::make_unique<Owner>();
    Owner childObject;
    parentObject->steps = childObject.steps = &steps;
    childObject.gate = &gate;

    async::Task<> task = parentObject->parent(&childObject);
    parentObject.reset();
    gate.waiting.resume();
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_TRUE(task.wasDestroyed());

    parentObject = std::make_unique<Owner>();
    parentObject->steps = &steps;
    childObject.whileRunning = [&] { parentObject.reset(); };
    async::Task<> gone = parentObject->parent(&childObject);
    gate.waiting.resume();
    EXPECT_EQ(steps, QStringList{QStringLiteral("child")});
    EXPECT_TRUE(gone.wasDestroyed());
    childObject.whileRunning = {};
    steps.clear();

    // Bound objects alive: the result comes through, to each await.
    parentObject = std::make_unique<Owner>();
    parentObject->steps = &steps;
    async::Task<> alive = parentObject->parent(&childObject);
    gate.waiting.resume();
    EXPECT_EQ(steps, QStringList({QStringLiteral("child"), QStringLiteral("parent answer")}));
    EXPECT_TRUE(alive.isDone());
}

TEST(Task, AwaitingADestroyedTaskEndsTheAwaitingChainAndAResultComesTwice)
{
    Gate gate;
    QStringList steps;
    auto childObject = std::make_unique<Owner>();
    childObject->gate = &gate;
    childObject->steps = &steps;
    async::Task<QString> child = childObject->child();
    childObject.reset();
    gate.waiting.resume();
    ASSERT_TRUE(child.wasDestroyed());

    bool reached = false;
    auto awaitIt = [&]() -> async::Task<> {
        co_await child;
        reached = true;
    };
    async::Task<> awaiting = awaitIt();
    EXPECT_FALSE(reached);
    EXPECT_TRUE(awaiting.wasDestroyed());

    Owner owner;
    owner.gate = &gate;
    owner.steps = &steps;
    async::Task<QString> finished = owner.child();
    gate.waiting.resume();
    QStringList results;
    auto twice = [&]() -> async::Task<> {
        results.append(co_await finished);
        results.append(co_await finished);
    };
    twice();
    EXPECT_EQ(results, QStringList({QStringLiteral("answer"), QStringLiteral("answer")}));
}

// A scope lives exactly as long as the coroutine that took it, and the
// coroutines it awaits find it once they have waited.
TEST(Task, AScopeIsFoundDownTheChainAndEndsWithItsCoroutine)
{
    Gate gate;
    int alive = 0;
    bool foundBelow = false;
    auto below = [&]() -> async::Task<> {
        co_await gate.wait();
        co_await MarkerAwaiter{.found = &foundBelow};
    };
    auto above = [&]() -> async::Task<> {
        co_await MarkerAwaiter{.alive = &alive};
        co_await below();
    };
    async::Task<> task = above();
    EXPECT_EQ(alive, 1);
    gate.waiting.resume();
    EXPECT_TRUE(foundBelow);
    EXPECT_TRUE(task.isDone());
    // Ended, though its Task still holds the frame.
    EXPECT_EQ(alive, 0);

    // Destroyed while it waits, the scope goes with it.
    async::Task<> waiting = above();
    EXPECT_EQ(alive, 1);
    gate.waiting.destroy();
    EXPECT_EQ(alive, 0);
    EXPECT_TRUE(waiting.wasDestroyed());
}

} // namespace
