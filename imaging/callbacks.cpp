// SPDX-License-Identifier: GPL-3.0-or-later
#include "imaging/callbacks.h"

#include "common/language.h"
#include "imaging/progress.h"
#include "common/format.h"

#include <cmath>

namespace {

constexpr int kForecasting = 134; // "预测中..."
constexpr DWORD kAbort = WIM_MSG_ABORT_IMAGE;

TASKCONTEXT& contextOf(void* user)
{
    return *static_cast<TASKCONTEXT*>(user);
}

bool mustStop(const TASKCONTEXT& ctx)
{
    return ctx.Cancel.load() != 0 || ctx.Abandoned.load() != 0;
}

void waitForGate(TASKCONTEXT& ctx)
{
    // An abandoned worker runs to its end without halting: nobody will ever
    // answer for it.
    if (ctx.Abandoned.load())
        return;
    CEVENT* gate = ctx.GateHandle.load();
    (gate ? *gate : OperationGate()).wait();
}

QString pathOf(WPARAM wParam)
{
    const auto* text = reinterpret_cast<const char16_t*>(wParam);
    return text ? QString::fromUtf16(text) : QString();
}

BOOL* flagOf(LPARAM lParam)
{
    return reinterpret_cast<BOOL*>(lParam);
}

uint64_t countOf(LPARAM lParam)
{
    return lParam > 0 ? uint64_t(lParam) : 0;
}

uint32_t clampPercent(double value)
{
    if (!(value > 0))
        return 0;
    return value >= 100 ? 100 : uint32_t(value);
}

// "show progress": the remaining time, or "预测中..." until the engine gave a
// first estimate; then the percent.
void showProgress(TASKCONTEXT& ctx, WPARAM percent, LPARAM remainingMs)
{
    const uint64_t remaining = countOf(remainingMs);
    uint64_t expected = 0;
    if (remaining != 0)
        ctx.RemainingKnown.compare_exchange_strong(expected, remaining);
    const QString shown = ctx.RemainingKnown.load() ? FormatElapsed(remaining) : GetLanguageString(kForecasting);
    PostText(ctx, ctx.RemainingLabel, ctx.RemainingPrefix + shown);
    PostPercent(ctx.ProgressBar, clampPercent(double(percent)), ctx);
}

void showScaledProgress(TASKCONTEXT& ctx, WPARAM percent)
{
    PostPercent(ctx.ProgressBar, clampPercent(std::ceil(double(percent) * ctx.ImageShare / 100.0 + ctx.ShareDone)), ctx);
}

// The capture configuration decisions (the lists' own rules; an empty list
// never matches). They only ever clear a flag, so a flag the engine already
// cleared stays as it is.
void filterProcess(TASKCONTEXT& ctx, WPARAM wParam, LPARAM lParam)
{
    if (BOOL* process = flagOf(lParam))
        if (*process && !DecideProcess(ctx, int(ctx.RootLength), pathOf(wParam), true))
            *process = FALSE;
}

void filterCompress(TASKCONTEXT& ctx, WPARAM wParam, LPARAM lParam)
{
    if (BOOL* compress = flagOf(lParam))
        if (*compress && !DecideCompress(ctx, int(ctx.RootLength), pathOf(wParam), true))
            *compress = FALSE;
}

void filterAlignment(TASKCONTEXT& ctx, WPARAM wParam, LPARAM lParam)
{
    if (BOOL* align = flagOf(lParam))
        if (*align && !DecideAlign(ctx, int(ctx.RootLength), pathOf(wParam), true))
            *align = FALSE;
}

void setTotal(TASKCONTEXT& ctx, LPARAM lParam, bool show)
{
    ctx.Total = countOf(lParam);
    if (show)
        ShowFileCount(ctx);
}

void setProcessed(TASKCONTEXT& ctx, LPARAM lParam)
{
    ctx.Processed = countOf(lParam);
    ShowFileCount(ctx);
}

DWORD partDone(TASKCONTEXT& ctx, WPARAM wParam, LPARAM lParam)
{
    const auto* size = reinterpret_cast<const int64_t*>(lParam);
    if (size && *size > 0)
        ctx.SizeDone += uint64_t(*size);
    const double percent = ctx.SizeTotal ? std::ceil(double(ctx.SizeDone) * 100.0 / double(ctx.SizeTotal)) : 0.0;
    PostPercent(ctx.ProgressBar, clampPercent(percent), ctx);
    const auto* const* partPath = reinterpret_cast<const char16_t* const*>(wParam);
    if (ctx.PartListBox && partPath && *partPath) {
        const QString line = QString::fromUtf16(*partPath);
        PostToWindow(ctx, ctx.PartListBox, [line](TaskWindow& w) { w.appendText(line); });
    }
    ++ctx.Processed;
    ShowPartCount(ctx);
    waitForGate(ctx);
    return 0;
}

// Every callback body runs inside this guard: nothing may leave a callback
// of the imaging layer, and a failure inside one stops the operation.
template <typename Body>
DWORD guarded(void* user, Body body)
{
    if (!user)
        return 0;
    try {
        return body(contextOf(user));
    } catch (...) {
        return kAbort;
    }
}

} // namespace

DWORD WaitAndAsk(TASKCONTEXT& ctx)
{
    waitForGate(ctx);
    return mustStop(ctx) ? kAbort : 0;
}

DWORD ApplyProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        switch (msg) {
        case WIM_MSG_PROGRESS:
            showProgress(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_PROCESS:
            filterProcess(ctx, wParam, lParam);
            return WaitAndAsk(ctx);
        case WIM_MSG_SETRANGE:
            setTotal(ctx, lParam, true);
            return 0;
        case WIM_MSG_SETPOS:
            setProcessed(ctx, lParam);
            return 0;
        case WIM_MSG_STEPIT:
            ++ctx.Processed;
            return 0;
        case WIM_MSG_QUERY_ABORT:
            return WaitAndAsk(ctx);
        default:
            return 0;
        }
    });
}

DWORD ApplyFilterCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        if (msg == WIM_MSG_PROCESS)
            filterProcess(ctx, wParam, lParam);
        return 0;
    });
}

DWORD CaptureProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        switch (msg) {
        case WIM_MSG_PROGRESS:
            showProgress(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_PROCESS:
            filterProcess(ctx, wParam, lParam);
            return WaitAndAsk(ctx);
        case WIM_MSG_SCANNING:
            setTotal(ctx, lParam, false);
            return 0;
        case WIM_MSG_SETRANGE:
            setTotal(ctx, lParam, true);
            return 0;
        case WIM_MSG_SETPOS:
            setProcessed(ctx, lParam);
            return 0;
        case WIM_MSG_STEPIT:
            ++ctx.Processed;
            return 0;
        case WIM_MSG_COMPRESS:
            filterCompress(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_ALIGNMENT:
            filterAlignment(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_QUERY_ABORT:
            return WaitAndAsk(ctx);
        default:
            return 0;
        }
    });
}

DWORD CaptureFilterCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        switch (msg) {
        case WIM_MSG_PROCESS:
            filterProcess(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_COMPRESS:
            filterCompress(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_ALIGNMENT:
            filterAlignment(ctx, wParam, lParam);
            return 0;
        default:
            return 0;
        }
    });
}

DWORD ExportProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        switch (msg) {
        case WIM_MSG_PROGRESS:
            showProgress(ctx, wParam, lParam);
            return 0;
        case WIM_MSG_PROCESS:
        case WIM_MSG_QUERY_ABORT:
            return WaitAndAsk(ctx);
        case WIM_MSG_SETRANGE:
            setTotal(ctx, lParam, true);
            return 0;
        case WIM_MSG_SETPOS:
            ShowFileCount(ctx);
            return 0;
        case WIM_MSG_STEPIT:
            ++ctx.Processed;
            return 0;
        default:
            return 0;
        }
    });
}

DWORD ExportAllProgressCallback(DWORD msg, WPARAM wParam, LPARAM, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        switch (msg) {
        case WIM_MSG_PROGRESS:
            showScaledProgress(ctx, wParam);
            return 0;
        case WIM_MSG_PROCESS:
        case WIM_MSG_QUERY_ABORT:
            return WaitAndAsk(ctx);
        case WIM_MSG_SETRANGE:
        case WIM_MSG_SETPOS:
            ShowFileCount(ctx);
            return 0;
        case WIM_MSG_STEPIT:
            ++ctx.Processed;
            return 0;
        default:
            return 0;
        }
    });
}

DWORD SplitProgressCallback(DWORD msg, WPARAM wParam, LPARAM lParam, void* user)
{
    return guarded(user, [&](TASKCONTEXT& ctx) -> DWORD {
        if (msg == WIM_MSG_SPLIT)
            return partDone(ctx, wParam, lParam);
        return 0;
    });
}

enum wimlib_progress_status WimlibConvertProgress(enum wimlib_progress_msg msg, union wimlib_progress_info* info,
                                                  void* user)
{
    if (!user || msg != WIMLIB_PROGRESS_MSG_WRITE_STREAMS || !info)
        return WIMLIB_PROGRESS_STATUS_CONTINUE;
    try {
        TASKCONTEXT& ctx = contextOf(user);
        const uint64_t total = info->write_streams.total_bytes;
        const uint64_t done = info->write_streams.completed_bytes;
        const uint32_t percent = total ? clampPercent(double(done) * 100.0 / double(total)) : 0;
        if (percent != ctx.LastPercent.load()) {
            ctx.LastPercent = percent;
            PostPercent(ctx.ProgressBar, percent, ctx);
        }
        waitForGate(ctx);
        return mustStop(ctx) ? WIMLIB_PROGRESS_STATUS_ABORT : WIMLIB_PROGRESS_STATUS_CONTINUE;
    } catch (...) {
        return WIMLIB_PROGRESS_STATUS_ABORT;
    }
}
