#pragma once

// Coroutines for handlers that wait for the player: a handler that waits is
// suspended, not nested in an event loop, so waiting costs no stack and the
// requests of a channel leave in the order they were asked for.
//
// A Task starts at once and runs until its first wait. Awaited by another
// Task it hands its result back; called as a plain statement it runs on by
// itself and frees its frame when it ends. A coroutine that is a member of a
// QObject (or takes one as its first argument) is bound to it: once that
// object is gone the coroutine never goes on, nor does any coroutine that
// awaits it; the whole chain is destroyed instead, without running more of it.
//
// GCC 12 builds a co_await inside an if's condition wrongly (the frame is
// read before it is set up): await into a variable, then test that. It also
// destroys twice a temporary awaited in braces ({...}) that owns something:
// make it with parentheses, or return it from a function.
//
// What a coroutine waits for other than another Task (an answer, a turn, a
// timer) is a leaf of its chain: its awaitable hands the waiting coroutine to
// a Suspension and whoever ends the wait calls Suspension::resume (see there).
//
// A Task destroyed while its coroutine runs (an object that holds it deletes
// itself from inside it) keeps its frame until the code that runs there is
// done with it: it runs on by itself when nothing awaits it; awaited, it ends
// at its next wait or at its end, with the coroutines that await it, none of
// which goes on. A Task is awaited by one coroutine at a time: a second one
// that awaits it while the first still does is refused, loudly, and its chain
// ends there.

#include <QObject>
#include <QPointer>
#include <QtGlobal>

#include <concepts>
#include <coroutine>
#include <exception>
#include <memory>
#include <optional>
#include <type_traits>
#include <utility>

namespace async {

class TaskBase;

// Something a coroutine holds from the moment it takes it to its end, and
// that the coroutines it awaits find by walking up their chain.
class ChainScope
{
public:
    virtual ~ChainScope() = default;
};

class PromiseBase
{
public:
    PromiseBase() = default;
    PromiseBase(const PromiseBase &) = delete;
    PromiseBase &operator=(const PromiseBase &) = delete;
    // Whichever of a coroutine and the one awaiting it goes first unlinks
    // the other, so that neither is left pointing at a frame that is gone.
    ~PromiseBase()
    {
        if (m_parent && m_parent->m_awaited == this)
            m_parent->m_awaited = nullptr;
        if (m_awaited && m_awaited->m_parent == this) {
            m_awaited->m_parent = nullptr;
            m_awaited->m_continuation = {};
            m_awaited->m_cutOff = true;
        }
    }
    // The coroutine's arguments; for a member function, the object first.
    template<typename First, typename... Rest>
    explicit PromiseBase(First &&first, Rest &&...)
    {
        using Object = std::remove_cvref_t<First>;
        if constexpr (std::derived_from<Object, QObject>) {
            m_context = const_cast<std::remove_const_t<std::remove_reference_t<First>> *>(&first);
            m_bound = true;
        }
    }

    // Whether every coroutine of the chain from this one out to its root may
    // still go on.
    bool chainAlive() const
    {
        for (const PromiseBase *p = this; p; p = p->m_parent) {
            if (p->m_cutOff || (p->m_bound && !p->m_context))
                return false;
        }
        return true;
    }

    // Whether code of this coroutine, or of one it awaits, runs now: it is
    // between a resume and its next wait, or letting go of its scope at its
    // end.
    bool runs() const
    {
        const PromiseBase *p = this;
        while (p->m_waiting && p->m_awaited)
            p = p->m_awaited;
        return p->m_ending || (!p->m_waiting && !p->m_frame.done());
    }

    // Destroys the chain from its root down to this coroutine without
    // running any more of it.
    void destroyChain();

    // The nearest scope of this type held by this coroutine or one that
    // awaits it. A coroutine is linked to the one that awaits it only once
    // it first waits, so code that runs before that sees its own scope only.
    template<typename Scope>
    Scope *findScope() const
    {
        for (const PromiseBase *p = this; p; p = p->m_parent) {
            if (auto *scope = dynamic_cast<Scope *>(p->m_scope.get()))
                return scope;
        }
        return nullptr;
    }
    // Held until the coroutine ends (or is destroyed); one at a time.
    void holdScope(std::unique_ptr<ChainScope> scope) { m_scope = std::move(scope); }

    // Every co_await of the coroutine goes through here, so that it is known
    // whether the coroutine waits or runs.
    template<typename Awaitable>
    auto await_transform(Awaitable &&awaitable) noexcept
    {
        if constexpr (requires { std::forward<Awaitable>(awaitable).operator co_await(); }) {
            using Awaiter = decltype(std::forward<Awaitable>(awaitable).operator co_await());
            return Watched<Awaiter>{std::forward<Awaitable>(awaitable).operator co_await(), *this};
        } else {
            return Watched<std::remove_reference_t<Awaitable> &>{awaitable, *this};
        }
    }

protected:
    template<typename T>
    friend class Task;
    friend class TaskBase;

    // An awaiter, and the waiting coroutine marked as such while it waits.
    // Nothing of the coroutine is touched once the awaiter has let it wait:
    // it may be resumed, or destroyed, before await_suspend returns.
    template<typename Awaiter>
    struct Watched
    {
        Awaiter awaiter;
        PromiseBase &promise;

        bool await_ready() { return awaiter.await_ready(); }
        template<typename Promise>
        decltype(auto) await_suspend(std::coroutine_handle<Promise> frame)
        {
            promise.m_waiting = true;
            return awaiter.await_suspend(frame);
        }
        decltype(auto) await_resume()
        {
            promise.m_waiting = false;
            return awaiter.await_resume();
        }
    };

    struct FinalAwaiter
    {
        bool await_ready() const noexcept { return false; }
        template<typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept
        {
            PromiseBase &promise = self.promise();
            // What it held ends with it, before anything goes on. Its end may
            // destroy this coroutine's Task: the frame stays until here.
            promise.m_ending = true;
            promise.m_scope.reset();
            promise.m_ending = false;
            if (promise.m_continuation) {
                // The object of a coroutine that awaits this one went while
                // this one ran to its end: the chain ends here.
                if (!promise.chainAlive()) {
                    promise.destroyChain();
                    return std::noop_coroutine();
                }
                std::exchange(promise.m_parent, nullptr)->m_awaited = nullptr;
                return std::exchange(promise.m_continuation, {});
            }
            if (promise.m_detached)
                self.destroy();
            return std::noop_coroutine();
        }
        void await_resume() const noexcept { }
    };

    std::coroutine_handle<> m_frame;
    // The coroutine awaiting this one, if any.
    std::coroutine_handle<> m_continuation;
    PromiseBase *m_parent = nullptr;
    // The coroutine this one awaits, while it does.
    PromiseBase *m_awaited = nullptr;
    // The Task that holds this frame, while one does.
    TaskBase *m_holder = nullptr;
    // Nobody holds or awaits it: it frees its own frame at the end.
    bool m_detached = false;
    // It never goes on: its Task went while it ran and something awaited
    // it, or what awaited it went. A frame cut off with a parent is held by
    // none of the frames above it.
    bool m_cutOff = false;
    // At a co_await that let it wait.
    bool m_waiting = false;
    // In its final suspension, letting go of its scope.
    bool m_ending = false;
    QPointer<QObject> m_context;
    bool m_bound = false;
    std::unique_ptr<ChainScope> m_scope;
};

// A coroutine waiting at a leaf of its chain. The awaitable makes one in its
// await_suspend and hands it to whatever ends the wait, which then calls
// exactly one of resume() or destroy(), from the event loop: never from
// inside another handler's code, which the coroutine must not run within.
// resume() goes on with the coroutine while every object its chain is bound
// to lives, and destroys the chain otherwise; destroy() ends it for good. The
// awaitable must tell whatever holds the Suspension when it is destroyed
// unresumed (its coroutine was destroyed from elsewhere), so that nobody
// resumes a frame that is gone.
class Suspension
{
public:
    Suspension() = default;
    template<typename Promise>
    requires std::derived_from<Promise, PromiseBase>
    explicit Suspension(std::coroutine_handle<Promise> frame)
        : m_promise(&frame.promise())
        , m_frame(frame)
    { }

    explicit operator bool() const { return m_promise != nullptr; }
    PromiseBase *promise() const { return m_promise; }

    void resume()
    {
        PromiseBase *promise = std::exchange(m_promise, nullptr);
        if (!promise)
            return;
        if (promise->chainAlive())
            std::exchange(m_frame, {}).resume();
        else
            promise->destroyChain();
    }
    void destroy()
    {
        m_frame = {};
        if (PromiseBase *promise = std::exchange(m_promise, nullptr))
            promise->destroyChain();
    }

private:
    PromiseBase *m_promise = nullptr;
    std::coroutine_handle<> m_frame;
};

class TaskBase
{
public:
    // Done also when it was destroyed before its end.
    bool isDone() const { return !m_frame || m_frame.done(); }
    // Destroyed before its end, because what it was bound to went away.
    bool wasDestroyed() const { return !m_frame; }

protected:
    TaskBase() = default;
    explicit TaskBase(std::coroutine_handle<> frame, PromiseBase &promise)
        : m_frame(frame)
        , m_promise(&promise)
    {
        promise.m_holder = this;
    }
    TaskBase(TaskBase &&other) noexcept
        : m_frame(std::exchange(other.m_frame, {}))
        , m_promise(std::exchange(other.m_promise, nullptr))
    {
        if (m_promise)
            m_promise->m_holder = this;
    }
    TaskBase &operator=(TaskBase &&) = delete;
    ~TaskBase() { release(); }

    // Waiting for a Task whose chain was destroyed goes the same way: the
    // awaiting chain is destroyed too, rather than going on without a result.
    bool readyToResume() const { return m_frame && m_frame.done(); }
    void awaitedBy(std::coroutine_handle<> parentFrame, PromiseBase &parent)
    {
        if (!m_frame) {
            parent.destroyChain();
            return;
        }
        // One continuation: a second would take the first one's place, and
        // the first would wait for ever.
        if (m_promise->m_continuation) {
            qCritical("async::Task: awaited by a second coroutine while another awaits it; the second one ends");
            parent.destroyChain();
            return;
        }
        m_promise->m_continuation = parentFrame;
        m_promise->m_parent = &parent;
        parent.m_awaited = m_promise;
    }

    std::coroutine_handle<> m_frame;
    PromiseBase *m_promise = nullptr;

private:
    friend class PromiseBase;

    void release()
    {
        if (!m_frame)
            return;
        m_promise->m_holder = nullptr;
        if (m_promise->runs()) {
            // Destroyed from inside its own run: the frame stays under the
            // code that runs there. Awaited, it ends at its next wait or its
            // end, and what awaits it with it; else it runs on by itself.
            m_promise->m_detached = true;
            if (m_promise->m_continuation)
                m_promise->m_cutOff = true;
        } else if (m_frame.done() || m_promise->m_continuation || m_promise->m_cutOff) {
            // Finished, awaited by a coroutine that is being destroyed, or
            // never to go on: the frame goes with this Task.
            m_frame.destroy();
        } else {
            // Otherwise it runs on by itself.
            m_promise->m_detached = true;
        }
        m_frame = {};
        m_promise = nullptr;
    }
};

inline void PromiseBase::destroyChain()
{
    for (PromiseBase *from = this; from;) {
        PromiseBase *root = from;
        while (root->m_parent && !root->m_cutOff)
            root = root->m_parent;
        // A coroutine cut off from the one awaiting it is in no frame above
        // it: that one's chain goes next.
        from = root->m_cutOff ? root->m_parent : nullptr;
        if (TaskBase *holder = std::exchange(root->m_holder, nullptr)) {
            holder->m_frame = {};
            holder->m_promise = nullptr;
        }
        // Each coroutine's frame holds the Task it awaits, which destroys that
        // one's frame in turn, down to this one.
        root->m_frame.destroy();
    }
}

template<typename T = void>
class Task final : public TaskBase
{
public:
    struct promise_type;

    Task(Task &&) noexcept = default;

    // Awaited where it stands, a temporary as well as a variable; awaited
    // again, it gives its result again.
    class Awaiter
    {
    public:
        explicit Awaiter(Task &task)
            : m_task(task)
        { }
        bool await_ready() const noexcept { return m_task.readyToResume(); }
        template<typename Promise>
        requires std::derived_from<Promise, PromiseBase>
        void await_suspend(std::coroutine_handle<Promise> parent) noexcept
        {
            m_task.awaitedBy(parent, parent.promise());
        }
        T await_resume() const
        {
            if constexpr (!std::is_void_v<T>)
                return *static_cast<promise_type *>(m_task.m_promise)->m_value;
        }

    private:
        Task &m_task;
    };
    Awaiter operator co_await() &noexcept { return Awaiter(*this); }
    Awaiter operator co_await() &&noexcept { return Awaiter(*this); }

    // The result of a finished task; nothing before its end or when it was
    // destroyed unfinished.
    std::optional<T> result() const requires(!std::is_void_v<T>)
    {
        if (!m_frame || !m_frame.done())
            return std::nullopt;
        return static_cast<promise_type *>(m_promise)->m_value;
    }

private:
    explicit Task(std::coroutine_handle<promise_type> frame)
        : TaskBase(frame, frame.promise())
    { }
};

namespace detail {

template<typename T>
struct ValuePromise : PromiseBase
{
    using PromiseBase::PromiseBase;
    template<typename U>
    void return_value(U &&value)
    {
        m_value.emplace(std::forward<U>(value));
    }
    std::optional<T> m_value;
};

struct VoidPromise : PromiseBase
{
    using PromiseBase::PromiseBase;
    void return_void() { }
};

} // namespace detail

template<typename T>
struct Task<T>::promise_type final : std::conditional_t<std::is_void_v<T>, detail::VoidPromise, detail::ValuePromise<T>>
{
    using Base = std::conditional_t<std::is_void_v<T>, detail::VoidPromise, detail::ValuePromise<T>>;
    using Base::Base;

    Task get_return_object()
    {
        const auto frame = std::coroutine_handle<promise_type>::from_promise(*this);
        this->m_frame = frame;
        return Task(frame);
    }
    std::suspend_never initial_suspend() const noexcept { return {}; }
    PromiseBase::FinalAwaiter final_suspend() const noexcept { return {}; }
    // Nothing here throws; an exception that escapes is a bug.
    void unhandled_exception() const noexcept { std::terminate(); }
};

} // namespace async
