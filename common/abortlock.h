// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <mutex>

// The process-wide lock inside which the user-interface thread sets the
// Cancel flag of the running operation and the callbacks read it.
std::mutex& AbortLock();
