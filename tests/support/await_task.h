#pragma once

#include "services/httpq/httpqclient.h"
#include "support/printers.h"
#include "core/async/task.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <functional>

// Tests wait for a coroutine by running the event loop (the program never
// does), each wait within a limit.
inline constexpr int kAwaitLimitMs = 10'000;

// Like QTest::qWaitFor, without its 10 ms naps between turns of the loop,
// which would make every request against the in-process simulator slow.
inline bool waitUntil(const std::function<bool()> &condition, int limitMs = kAwaitLimitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.hasExpired(limitMs))
            return false;
        QEventLoop loop;
        QTimer::singleShot(1, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

// Lets the coroutines answered by a scripted channel run to their end: each
// step goes on from a posted event.
inline void drainEvents()
{
    for (int turn = 0; turn < 50; ++turn)
        QCoreApplication::processEvents();
}

template<typename T>
std::optional<T> awaitTask(async::Task<T> task, int limitMs = kAwaitLimitMs)
{
    EXPECT_TRUE(waitUntil([&] { return task.isDone(); }, limitMs)) << "a coroutine did not end in time";
    return task.result();
}

inline void awaitTask(async::Task<> task, int limitMs = kAwaitLimitMs)
{
    EXPECT_TRUE(waitUntil([&] { return task.isDone(); }, limitMs)) << "a coroutine did not end in time";
}

inline async::Task<std::optional<QString>> fetchTask(HttpqClient *channel, QString url)
{
    co_return co_await channel->Fetch(url);
}

// A fetch and its answer, or nothing when it failed.
inline std::optional<QString> fetchAndWait(HttpqClient *channel, const QString &url, int limitMs = kAwaitLimitMs)
{
    return awaitTask(fetchTask(channel, url), limitMs).value_or(std::nullopt);
}
