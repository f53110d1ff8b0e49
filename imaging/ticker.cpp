// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/ticker.h"

#include "imaging/progress.h"
#include "imaging/taskcontext.h"

#include <chrono>

namespace {

constexpr auto kInterval = std::chrono::milliseconds(1000);

} // namespace

TaskTicker::~TaskTicker()
{
    stop();
}

void TaskTicker::start(TASKCONTEXT& ctx)
{
    stop();
    std::lock_guard lock(m_mutex);
    m_stop = false;
    try {
        m_thread = std::thread(&TaskTicker::loop, this, &ctx);
    } catch (...) {
        m_stop = true;
    }
}

void TaskTicker::stop()
{
    std::thread finished;
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
        if (m_thread.joinable()) {
            if (m_thread.get_id() == std::this_thread::get_id())
                m_thread.detach(); // a tick that stops its own ticker ends with its loop
            else
                finished = std::move(m_thread);
        }
    }
    m_wake.notify_all();
    if (finished.joinable())
        finished.join();
}

void TaskTicker::loop(TASKCONTEXT* ctx)
{
    std::unique_lock lock(m_mutex);
    while (!m_stop) {
        const auto began = std::chrono::steady_clock::now();
        lock.unlock();
        try {
            TickElapsed(*ctx);
        } catch (...) {
            // Nothing may leave the ticker thread.
        }
        lock.lock();
        // Sleep for the rest of the interval unless that rest is too short to
        // matter; a stop wakes the thread at once.
        const auto rest = kInterval - (std::chrono::steady_clock::now() - began);
        if (rest > std::chrono::milliseconds(20))
            m_wake.wait_for(lock, rest, [this] { return m_stop; });
    }
}

void StartTicker(TASKCONTEXT& ctx)
{
    ctx.Ticker->start(ctx);
}

void StopTicker(TASKCONTEXT& ctx)
{
    ctx.Ticker->stop();
}
