// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/cevent.h"

CEVENT::CEVENT(bool initiallySet)
    : m_set(initiallySet)
{
}

void CEVENT::set()
{
    {
        std::lock_guard lock(m_mutex);
        m_set = true;
    }
    m_changed.notify_all();
}

void CEVENT::reset()
{
    std::lock_guard lock(m_mutex);
    m_set = false;
}

bool CEVENT::isSet() const
{
    std::lock_guard lock(m_mutex);
    return m_set;
}

void CEVENT::wait() const
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_set; });
}

bool CEVENT::waitFor(std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [this] { return m_set; });
}
