// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/cthread.h"

#include <condition_variable>
#include <mutex>

// Shared between the owner and the thread, so that an abandoned thread never
// touches an owner that is gone.
struct CTHREAD::Run {
    std::mutex mutex;
    std::condition_variable doneChanged;
    bool done = false;
    std::thread thread;

    bool waitDone(std::chrono::milliseconds timeout)
    {
        std::unique_lock lock(mutex);
        return doneChanged.wait_for(lock, timeout, [this] { return done; });
    }
};

CTHREAD::~CTHREAD()
{
    // A routine still running here is one the owner no longer waits for;
    // joining could hang the caller, so it is let go.
    for (auto* run : {&m_run, &m_abandoned}) {
        if (*run && (*run)->thread.joinable()) {
            if ((*run)->waitDone(std::chrono::milliseconds(0)))
                (*run)->thread.join();
            else
                (*run)->thread.detach();
        }
    }
}

bool CTHREAD::start(std::function<void()> routine)
{
    if (isRunning())
        return false;
    if (m_run && m_run->thread.joinable())
        m_run->thread.join();
    if (m_abandoned) {
        if (m_abandoned->thread.joinable())
            m_abandoned->thread.join();
        m_abandoned.reset();
    }
    auto run = std::make_shared<Run>();
    try {
        run->thread = std::thread([run, routine = std::move(routine)] {
            try {
                routine();
            } catch (...) {
                // Nothing may leave a worker thread.
            }
            {
                std::lock_guard lock(run->mutex);
                run->done = true;
            }
            run->doneChanged.notify_all();
        });
    } catch (...) {
        return false;
    }
    m_run = std::move(run);
    return true;
}

bool CTHREAD::isRunning() const
{
    if (!m_run)
        return false;
    std::lock_guard lock(m_run->mutex);
    return !m_run->done;
}

bool CTHREAD::waitFor(std::chrono::milliseconds timeout)
{
    if (!m_run)
        return true;
    if (!m_run->waitDone(timeout))
        return false;
    if (m_run->thread.joinable())
        m_run->thread.join();
    return true;
}

void CTHREAD::join()
{
    if (m_run && m_run->thread.joinable())
        m_run->thread.join();
}

void CTHREAD::abandon()
{
    if (!m_run)
        return;
    if (m_abandoned && m_abandoned->thread.joinable()) {
        // Only one abandoned routine is kept; an older one has had its abort
        // answer for a while, so it is let go for good.
        m_abandoned->thread.detach();
    }
    m_abandoned = std::move(m_run);
}

bool CTHREAD::hasAbandoned() const
{
    if (!m_abandoned)
        return false;
    std::lock_guard lock(m_abandoned->mutex);
    return !m_abandoned->done;
}

bool CTHREAD::waitForAbandoned(std::chrono::milliseconds timeout)
{
    if (!m_abandoned)
        return true;
    if (!m_abandoned->waitDone(timeout))
        return false;
    if (m_abandoned->thread.joinable())
        m_abandoned->thread.join();
    m_abandoned.reset();
    return true;
}
