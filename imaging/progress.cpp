// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/progress.h"

#include "common/language.h"
#include "common/errortext.h"
#include "common/format.h"

#include <QMetaObject>
#include <QThread>
#include <cerrno>

namespace {

constexpr int kStepDone = 21;
constexpr int kStepFailed = 22;
constexpr int kUserStopped = 20;
constexpr int kForcedStopWarning = 283;
constexpr int kElapsedPrefix = 51;
constexpr int kRemainingPrefix = 52;
constexpr int kCountPrefix = 53;

const QString kLineBreak = QStringLiteral("\r\n");

void deliver(TASKCONTEXT& ctx, TaskWindow* window, std::function<void(TaskWindow&)> update, bool evenAbandoned)
{
    if (!window)
        return;
    PostToPoster(ctx, [window, update = std::move(update)] { update(*window); }, evenAbandoned);
}


} // namespace

void PostToPoster(TASKCONTEXT& ctx, std::function<void()> action, bool evenAbandoned)
{
    // The run id is read before the abandoned flag: an update that passes
    // the flag while a forced stop happens then carries the old id and is
    // dropped on arrival.
    const uint64_t runId = ctx.RunId.load();
    if (ctx.Abandoned.load() && !evenAbandoned)
        return;
    QObject* poster = ctx.Poster.data();
    if (!poster) {
        action();
        return;
    }
    TASKCONTEXT* context = &ctx;
    QMetaObject::invokeMethod(
        poster,
        [context, runId, action = std::move(action)] {
            if (context->RunId.load() == runId)
                action();
        },
        Qt::QueuedConnection);
}

void PostToWindow(TASKCONTEXT& ctx, TaskWindow* window, std::function<void(TaskWindow&)> update)
{
    deliver(ctx, window, std::move(update), false);
}

void PostText(TASKCONTEXT& ctx, TaskWindow* window, const QString& text)
{
    PostToWindow(ctx, window, [text](TaskWindow& w) { w.setText(text); });
}

void PostPercent(TaskWindow* progressBar, uint32_t percent, TASKCONTEXT& ctx)
{
    const QString text = QString::number(percent) + u'%';
    ctx.PercentText = text;
    ctx.PercentLength = int32_t(text.size());
    const int position = int(percent);
    PostToWindow(ctx, progressBar, [position, text](TaskWindow& w) { w.setPercent(position, text); });
}

void ShowFileCount(TASKCONTEXT& ctx)
{
    PostText(ctx, ctx.CountLabel,
             ctx.CountPrefix + QString::number(ctx.Processed.load()) + u'/' + QString::number(ctx.Total.load()));
}

void ShowPartCount(TASKCONTEXT& ctx)
{
    PostText(ctx, ctx.CountLabel, ctx.CountPrefix + QString::number(ctx.Processed.load()));
}

void TickElapsed(TASKCONTEXT& ctx)
{
    const uint64_t now = TickCount();
    const uint64_t start = ctx.StartTick.load();
    PostText(ctx, ctx.ElapsedLabel, ctx.ElapsedPrefix + FormatElapsed(now > start ? now - start : 0));
    ShowFileCount(ctx);
}

void LogText(TASKCONTEXT& ctx, const QString& text)
{
    PostToWindow(ctx, ctx.InfoBox, [text](TaskWindow& w) { w.appendText(text); });
}

void LogLineBreak(TASKCONTEXT& ctx)
{
    LogText(ctx, kLineBreak);
}

void LogStep(TASKCONTEXT& ctx, int n)
{
    ctx.LastStep = GetLanguageString(n);
    LogText(ctx, ctx.LastStep);
}

void LogResult(TASKCONTEXT& ctx, bool ok, bool withErrorText)
{
    LogResult(ctx, ok, withErrorText, errno);
}

void LogResult(TASKCONTEXT& ctx, bool ok, bool withErrorText, int savedErrno)
{
    if (ok) {
        LogText(ctx, GetLanguageString(kStepDone) + kLineBreak);
        return;
    }
    LogFailure(ctx, withErrorText ? ErrnoText(savedErrno) : QString());
}

void LogFailure(TASKCONTEXT& ctx, const QString& error)
{
    QString line = GetLanguageString(kStepFailed) + kLineBreak;
    if (!error.isEmpty())
        line += error + kLineBreak;
    LogText(ctx, line);
    if (ctx.FailureText.isEmpty()) {
        ctx.FailureText = ctx.LastStep + GetLanguageString(kStepFailed);
        if (!error.isEmpty())
            ctx.FailureText += QStringLiteral(": ") + error;
    }
}

void LogUserStop(TASKCONTEXT& ctx)
{
    LogText(ctx, GetLanguageString(kUserStopped) + kLineBreak);
}

void LogForcedStop(TASKCONTEXT& ctx)
{
    const QString text = GetLanguageString(kStepFailed) + kLineBreak + kLineBreak + GetLanguageString(kUserStopped)
        + kLineBreak + GetLanguageString(kForcedStopWarning) + kLineBreak;
    deliver(ctx, ctx.InfoBox, [text](TaskWindow& w) { w.appendText(text); }, true);
}

void SetProgressPrefixes(TASKCONTEXT& ctx)
{
    ctx.ElapsedPrefix = GetLanguageString(kElapsedPrefix);
    ctx.RemainingPrefix = GetLanguageString(kRemainingPrefix);
    ctx.CountPrefix = GetLanguageString(kCountPrefix);
}
