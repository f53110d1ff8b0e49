// SPDX-License-Identifier: GPL-3.0-or-later
// The once-a-second ticker that keeps the elapsed time of a running
// operation current. Each operation record has its own, so that an
// operation that ends late (a task thread left running after its dialog
// closed) stops only its own ticker, never the one of the next operation.
#pragma once

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

struct TASKCONTEXT;

// The ticker thread of one record. Owned by the record (TASKCONTEXT::Ticker).
class TaskTicker {
public:
    TaskTicker() = default;
    ~TaskTicker(); // stops and joins the thread
    TaskTicker(const TaskTicker&) = delete;
    TaskTicker& operator=(const TaskTicker&) = delete;

    // Starts ticking TickElapsed(ctx) every 1000 ms (the first tick at once);
    // a thread still ticking is stopped first.
    void start(TASKCONTEXT& ctx);
    // Sets the stop flag and waits for the thread to leave (it wakes at
    // once); safe when nothing ticks, and from the ticking thread itself.
    void stop();

private:
    void loop(TASKCONTEXT* ctx);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = true;
    std::thread m_thread;
};

// The record's own ticker.
void StartTicker(TASKCONTEXT& ctx);
void StopTicker(TASKCONTEXT& ctx);
