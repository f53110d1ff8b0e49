// SPDX-License-Identifier: GPL-3.0-or-later
// The once-a-second ticker that keeps the elapsed time of the running
// operation current. One ticker exists in the process.
#pragma once

#include "imaging/taskcontext.h"

// Starts ticking TickElapsed(ctx) every 1000 ms (the first tick at once).
// A ticker that still runs for an earlier record is stopped first.
void StartTicker(TASKCONTEXT& ctx);
// Sets the stop flag and waits for the ticker's thread to leave (it wakes at
// once); safe to call when no ticker runs.
void StopTicker();
