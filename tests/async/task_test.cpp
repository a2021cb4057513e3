#include "core/async/task.h"
#include "support/printers.h"

#include <gtest/gtest.h>

#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace {

using namespace Qt::StringLiterals;

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

// Calls a function as the coroutine that holds it lets go of its scope.
struct CallOnEnd : async::ChainScope
{
    explicit CallOnEnd(std::function<void()> call)
        : m_call(std::move(call))
    { }
    ~CallOnEnd() override { m_call(); }
    std::function<void()> m_call;
};

// Hands the awaiting coroutine a scope to hold, and goes on at once.
struct ScopeAwaiter
{
    explicit ScopeAwaiter(std::unique_ptr<async::ChainScope> held)
        : scope(std::move(held))
    { }
    std::unique_ptr<async::ChainScope> scope;
    bool await_ready() const { return false; }
    template<typename Promise>
    bool await_suspend(std::coroutine_handle<Promise> frame)
    {
        frame.promise().holdScope(std::move(scope));
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

// A coroutine that destroys its own Task while it runs (the object holding
// the Task deletes itself from inside it), or the Task of one that awaits it,
// goes on where it is, its locals intact: alone, to its end; awaited, to its
// next wait or its end, where it ends with the coroutines that await it, none
// of which goes on. Nothing is left behind.
TEST(Task, ATaskDestroyedFromInsideItsOwnRunKeepsItsFrameUntilItWaitsOrEnds)
{
    enum class Then { Ends, Waits, EndsFromItsScope };
    // How many coroutines await the one that runs (with two, the object
    // holds the Task of the middle one), and what it does once that is gone.
    const std::tuple<int, Then, QStringList> cases[] = {
        {0, Then::Ends, {u"gone, 1 alive"_s, u"end"_s}},
        {0, Then::Waits, {u"gone, 1 alive"_s, u"after wait"_s, u"end"_s}},
        {0, Then::EndsFromItsScope, {u"end"_s}},
        {1, Then::Ends, {u"gone, 2 alive"_s, u"end"_s}},
        {1, Then::Waits, {u"gone, 2 alive"_s}},
        {1, Then::EndsFromItsScope, {u"end"_s}},
        {2, Then::Ends, {u"gone, 3 alive"_s, u"end"_s}},
        {2, Then::Waits, {u"gone, 3 alive"_s}},
        {2, Then::EndsFromItsScope, {u"end"_s}},
    };
    for (const auto &[above, then, expected] : cases) {
        SCOPED_TRACE(above * 10 + int(then));
        Gate gate;
        int alive = 0;
        QStringList steps;
        auto holder = std::make_unique<std::optional<async::Task<>>>();
        const auto dropHolder = [&] { holder.reset(); };
        auto run = [&]() -> async::Task<> {
            Marker local(&alive);
            if (then == Then::EndsFromItsScope)
                co_await ScopeAwaiter(std::make_unique<CallOnEnd>(dropHolder));
            co_await gate.wait();
            if (then != Then::EndsFromItsScope) {
                dropHolder();
                steps.append(u"gone, %1 alive"_s.arg(alive));
            }
            if (then == Then::Waits) {
                co_await gate.wait();
                steps.append(u"after wait"_s);
            }
            steps.append(u"end"_s);
        };
        auto middle = [&]() -> async::Task<> {
            Marker local(&alive);
            co_await run();
            steps.append(u"middle went on"_s);
        };
        auto top = [&](std::optional<async::Task<>> *task) -> async::Task<> {
            Marker local(&alive);
            co_await **task;
            steps.append(u"top went on"_s);
        };
        holder->emplace(above == 2 ? middle() : run());
        std::optional<async::Task<>> awaiting;
        if (above > 0)
            awaiting.emplace(top(holder.get()));
        gate.waiting.resume();
        if (gate.waiting)
            gate.waiting.resume();
        EXPECT_EQ(steps, expected);
        EXPECT_EQ(alive, 0);
        EXPECT_FALSE(holder);
        EXPECT_TRUE(!awaiting || awaiting->wasDestroyed());
    }
}

// A Task goes on to one coroutine: a second that awaits it while the first
// does is refused, loudly, and ends there; the first gets the result.
TEST(Task, ASecondCoroutineAwaitingTheSameTaskIsRefusedAndTheFirstGoesOn)
{
    static QStringList criticals;
    criticals.clear();
    const QtMessageHandler before = qInstallMessageHandler(
        [](QtMsgType type, const QMessageLogContext &, const QString &text) {
            if (type == QtCriticalMsg)
                criticals.append(text);
        });
    Gate gate;
    int alive = 0;
    QStringList results;
    auto child = [&]() -> async::Task<QString> {
        co_await gate.wait();
        co_return u"answer"_s;
    };
    async::Task<QString> shared = child();
    auto awaitIt = [&](QString who) -> async::Task<> {
        Marker local(&alive);
        const QString answer = co_await shared;
        results.append(who + answer);
    };
    async::Task<> first = awaitIt(u"first "_s);
    async::Task<> second = awaitIt(u"second "_s);
    qInstallMessageHandler(before);
    EXPECT_TRUE(second.wasDestroyed());
    EXPECT_EQ(criticals.size(), 1);
    EXPECT_EQ(alive, 1);
    gate.waiting.resume();
    EXPECT_EQ(results, QStringList{u"first answer"_s});
    EXPECT_TRUE(first.isDone() && !first.wasDestroyed());
    EXPECT_EQ(alive, 0);
    // Once it has ended, any number may await it, one after the other.
    auto third = awaitIt(u"third "_s);
    EXPECT_EQ(results.last(), u"third answer");
}

} // namespace
