// SPDX-License-Identifier: GPL-3.0-or-later
// Display operations of a running operation and the step log. All of them
// may be called from any thread: they only post to the context's windows
// (taskwindow.h), in call order.
#pragma once

#include "imaging/taskcontext.h"

#include <functional>

// Hands `update` for `window` to the context's poster; nothing when the
// window is null or the worker was abandoned (forced stop).
void PostToWindow(TASKCONTEXT& ctx, TaskWindow* window, std::function<void(TaskWindow&)> update);
// The one way anything of a run reaches the GUI thread: `action` runs
// through the record's poster, queued and in order, and is dropped on
// arrival when the run it belongs to has been stopped by force or replaced;
// without a poster it runs at once on the calling thread. Nothing is posted
// for an abandoned run unless `evenAbandoned` (the forced stop's own lines).
void PostToPoster(TASKCONTEXT& ctx, std::function<void()> action, bool evenAbandoned = false);
void PostText(TASKCONTEXT& ctx, TaskWindow* window, const QString& text);

// PercentText = "<percent>%" (its length beside it), then the bar's position.
void PostPercent(TaskWindow* progressBar, uint32_t percent, TASKCONTEXT& ctx);

// CountLabel = CountPrefix + "Processed/Total".
void ShowFileCount(TASKCONTEXT& ctx);
// CountLabel = CountPrefix + Processed.
void ShowPartCount(TASKCONTEXT& ctx);
// ElapsedLabel = ElapsedPrefix + the time since StartTick, then ShowFileCount.
void TickElapsed(TASKCONTEXT& ctx);
// The labels' prefixes from the language: elapsed (51), remaining (52) and
// file count (53).
void SetProgressPrefixes(TASKCONTEXT& ctx);

// The step log in the information box. LogStep writes language string n
// without a line break; LogResult completes the line with "完成" (21) or
// "失败" (22) and a line break. On failure with `withErrorText` it writes,
// on a line of its own, the system's text for the errno the failing call
// left (ErrnoText, in the interface's language); read it before anything else can change errno. The first
// failure is also kept in FailureText.
void LogStep(TASKCONTEXT& ctx, int n);
void LogResult(TASKCONTEXT& ctx, bool ok, bool withErrorText = false);
void LogResult(TASKCONTEXT& ctx, bool ok, bool withErrorText, int savedErrno);
// "失败" with an error text of the caller's (empty: none), and the failure
// line of the run when it has none yet.
void LogFailure(TASKCONTEXT& ctx, const QString& error);
// Free text (no line break added) and a bare line break ("blank line").
void LogText(TASKCONTEXT& ctx, const QString& text);
void LogLineBreak(TASKCONTEXT& ctx);
// "用户终止了操作！" (20) and a line break.
void LogUserStop(TASKCONTEXT& ctx);
// The lines of a forced stop: "失败" (22), an empty line, 20 and 283. They
// are shown although the worker is abandoned by then.
void LogForcedStop(TASKCONTEXT& ctx);
