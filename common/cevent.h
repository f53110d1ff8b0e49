// SPDX-License-Identifier: GPL-3.0-or-later
// A manual-reset event: once set it stays set and lets every waiter through
// until it is reset. Operations pause on one while a stop question is open.
#pragma once

#include <chrono>
#include <condition_variable>
#include <mutex>

class CEVENT {
public:
    explicit CEVENT(bool initiallySet = false);
    CEVENT(const CEVENT&) = delete;
    CEVENT& operator=(const CEVENT&) = delete;

    void set();
    void reset();
    bool isSet() const;

    // Blocks until the event is set.
    void wait() const;
    // Returns whether the event was set within `timeout`.
    bool waitFor(std::chrono::milliseconds timeout) const;

private:
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    bool m_set;
};
