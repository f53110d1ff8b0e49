// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ticker.h"

#include "imaging/progress.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct TICKER {
    std::mutex mutex;
    std::condition_variable wake;
    bool stop = true;
    int intervalMs = 1000;
    void (*function)(TASKCONTEXT&) = nullptr;
    TASKCONTEXT* record = nullptr;
    std::thread thread;
};

TICKER& ticker()
{
    // Never destroyed: a joinable thread in a static at exit would end the
    // process with std::terminate.
    static TICKER* t = new TICKER;
    return *t;
}

void tickLoop(TICKER& t)
{
    std::unique_lock lock(t.mutex);
    while (!t.stop && t.intervalMs > 0) {
        const auto began = std::chrono::steady_clock::now();
        auto* function = t.function;
        TASKCONTEXT* record = t.record;
        lock.unlock();
        if (function && record) {
            try {
                function(*record);
            } catch (...) {
                // Nothing may leave the ticker thread.
            }
        }
        lock.lock();
        // Sleep for the rest of the interval unless that rest is too short to
        // matter; a stop wakes the thread at once.
        const auto rest = std::chrono::milliseconds(t.intervalMs) - (std::chrono::steady_clock::now() - began);
        if (rest > std::chrono::milliseconds(20))
            t.wake.wait_for(lock, rest, [&t] { return t.stop; });
    }
}

} // namespace

void StartTicker(TASKCONTEXT& ctx)
{
    StopTicker();
    TICKER& t = ticker();
    std::lock_guard lock(t.mutex);
    if (t.thread.joinable())
        t.thread.detach(); // only when a tick itself restarted the ticker
    t.record = &ctx;
    t.function = &TickElapsed;
    t.intervalMs = 1000;
    t.stop = false;
    try {
        t.thread = std::thread(tickLoop, std::ref(t));
    } catch (...) {
        t.stop = true;
    }
}

void StopTicker()
{
    TICKER& t = ticker();
    std::thread finished;
    {
        std::lock_guard lock(t.mutex);
        t.stop = true;
        if (t.thread.joinable() && t.thread.get_id() != std::this_thread::get_id())
            finished = std::move(t.thread);
    }
    t.wake.notify_all();
    if (finished.joinable())
        finished.join();
}
