// SPDX-License-Identifier: GPL-3.0-or-later
// Starting and ending an operation, and stopping it from the GUI.
//
// A page runs an operation like this (GUI thread):
//   if (!PrepareTaskStart()) return;          // an operation still runs
//   ...fill m_ctx (paths, ImageIndex, lists, windows, Poster = this)...
//   StartTaskWorker(m_ctx, [this] { myWorker(m_ctx); }, [this] { backToIdle(); });
// and the worker (worker thread):
//   LogStep(ctx, 10); LogLineBreak(ctx); ...
//   BeginTaskRun(ctx);   // gate set, GateHandle, StartTick, ticker
//   ...imaging calls, LogStep / LogResult...
//   EndTaskRun(ctx);     // "用户终止了操作！" when cancelled, ticker, gate reset
#pragma once

#include "imaging/taskcontext.h"

#include <chrono>
#include <functional>

// True when no operation runs. An abandoned worker (forced stop) that has
// not ended yet is waited for here, up to `patience`: it still reads the
// record the page is about to fill. False when one is left after that.
bool PrepareTaskStart(std::chrono::milliseconds patience = std::chrono::seconds(30));

// Resets the context's progress state (resetProgress), gives it a new run id
// and starts `routine` on TaskWorker(). `onFinished` runs through the poster
// after the routine returned, unless the worker was abandoned meanwhile.
// False, starting nothing, while another operation runs.
bool StartTaskWorker(TASKCONTEXT& ctx, std::function<void()> routine, std::function<void()> onFinished = {});

// The worker's first and last steps around its imaging calls.
void BeginTaskRun(TASKCONTEXT& ctx);
void EndTaskRun(TASKCONTEXT& ctx);

// What the stop question's answer asks for.
enum class StopChoice { Continue, Stop, ForceStop };

// The stop protocol, on the GUI thread: reset OperationGate (the worker halts
// in its next callback), ask (the page shows its question box inside `ask`),
// act on the answer, and set the gate again so that the worker goes on.
// Stop sets Cancel inside AbortLock; ForceStop abandons the worker
// (ForceStopOperation). Returns the answer.
StopChoice StopOperation(TASKCONTEXT& ctx, const std::function<StopChoice()>& ask);

// Cancel = 1 inside AbortLock.
void RequestCancel(TASKCONTEXT& ctx);

// The forced stop: the worker is abandoned, never killed. Its later
// callbacks answer abort, nothing it still posts is shown, the ticker stops,
// and the information box gets "失败", an empty line, "用户终止了操作！" and
// language string 283. The page is idle at once (the caller restores its
// buttons). Sets OperationGate so that a halted worker can run to its end.
void ForceStopOperation(TASKCONTEXT& ctx);
