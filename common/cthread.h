// SPDX-License-Identifier: GPL-3.0-or-later
// The one worker thread of a running operation. A thread cannot be killed
// safely, so a forced stop abandons it instead: the owner forgets it at once
// and the routine runs to its end on its own (its operation answers abort at
// the next message). A later start waits for an abandoned routine first,
// because that routine may still read the record it was given.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

class CTHREAD {
public:
    CTHREAD() = default;
    ~CTHREAD();
    CTHREAD(const CTHREAD&) = delete;
    CTHREAD& operator=(const CTHREAD&) = delete;

    // Starts `routine` on a new thread. Returns false, starting nothing, while
    // an earlier routine that was not abandoned still runs. Any exception the
    // routine throws is swallowed on its thread.
    bool start(std::function<void()> routine);

    // True from start() until the routine has returned (false once abandoned).
    bool isRunning() const;

    // Waits for the routine to return; true when it did within `timeout`.
    bool waitFor(std::chrono::milliseconds timeout);
    void join();

    // Lets the running routine go: isRunning() turns false at once.
    void abandon();

    // True while an abandoned routine has not returned yet.
    bool hasAbandoned() const;
    // Waits up to `timeout` for an abandoned routine; true when none is left.
    bool waitForAbandoned(std::chrono::milliseconds timeout);

private:
    struct Run;
    std::shared_ptr<Run> m_run;
    std::shared_ptr<Run> m_abandoned;
};
