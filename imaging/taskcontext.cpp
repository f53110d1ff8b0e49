// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/taskcontext.h"

#include <chrono>

void TASKCONTEXT::resetProgress()
{
    Cancel = 0;
    Processed = 0;
    Total = 0;
    RemainingKnown = 0;
    LastPercent = 0;
    ImageShare = 0;
    ShareDone = 0;
    SizeDone = 0;
    PercentText.clear();
    PercentLength = 0;
    LastStep.clear();
    FailureText.clear();
}

CEVENT& OperationGate()
{
    static CEVENT* gate = new CEVENT(true);
    return *gate;
}

CTHREAD& TaskWorker()
{
    // Never destroyed: an abandoned worker may outlive main().
    static CTHREAD* worker = new CTHREAD;
    return *worker;
}

uint64_t TickCount()
{
    using namespace std::chrono;
    return uint64_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
