// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/taskrun.h"

#include "common/abortlock.h"
#include "imaging/progress.h"
#include "imaging/ticker.h"


bool PrepareTaskStart(std::chrono::milliseconds patience)
{
    CTHREAD& worker = TaskWorker();
    if (worker.isRunning())
        return false;
    return worker.waitForAbandoned(patience);
}

bool StartTaskWorker(TASKCONTEXT& ctx, std::function<void()> routine, std::function<void()> onFinished)
{
    if (!PrepareTaskStart())
        return false;
    ctx.resetProgress();
    ctx.Abandoned = 0;
    ++ctx.RunId;
    TASKCONTEXT* context = &ctx;
    return TaskWorker().start([context, routine = std::move(routine), onFinished = std::move(onFinished)] {
        routine();
        if (onFinished)
            PostToPoster(*context, onFinished);
    });
}

void BeginTaskRun(TASKCONTEXT& ctx)
{
    CEVENT& gate = OperationGate();
    gate.set();
    ctx.GateHandle = &gate;
    ctx.StartTick = TickCount();
    StartTicker(ctx);
}

void EndTaskRun(TASKCONTEXT& ctx)
{
    if (ctx.Cancel.load())
        LogUserStop(ctx);
    // An abandoned worker leaves the ticker and the gate alone: they belong
    // to whatever runs next.
    if (ctx.Abandoned.load()) {
        ctx.GateHandle = nullptr;
        return;
    }
    StopTicker(ctx);
    OperationGate().reset();
    ctx.GateHandle = nullptr;
}

void RequestCancel(TASKCONTEXT& ctx)
{
    std::lock_guard lock(AbortLock());
    ctx.Cancel = 1;
}

StopChoice StopOperation(TASKCONTEXT& ctx, const std::function<StopChoice()>& ask)
{
    CEVENT& gate = OperationGate();
    gate.reset();
    StopChoice choice = StopChoice::Continue;
    try {
        choice = ask ? ask() : StopChoice::Continue;
    } catch (...) {
        choice = StopChoice::Continue;
    }
    if (choice == StopChoice::Stop)
        RequestCancel(ctx);
    else if (choice == StopChoice::ForceStop)
        ForceStopOperation(ctx);
    gate.set();
    return choice;
}

void ForceStopOperation(TASKCONTEXT& ctx)
{
    {
        std::lock_guard lock(AbortLock());
        ctx.Cancel = 1;
        ctx.Abandoned = 1;
    }
    ++ctx.RunId;
    TaskWorker().abandon();
    StopTicker(ctx);
    LogForcedStop(ctx);
    OperationGate().set();
}
