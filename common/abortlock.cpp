// SPDX-License-Identifier: GPL-3.0-or-later
#include "common/abortlock.h"

std::mutex& AbortLock()
{
    static std::mutex lock;
    return lock;
}
