// SPDX-License-Identifier: GPL-3.0-or-later
// The cell actions of the message callbacks, driven with messages directly.
#include "imaging/callbacks.h"
#include "common/errortext.h"
#include "imaging/progress.h"
#include "tasktestutil.h"

#include <gtest/gtest.h>

#include <functional>

namespace {

struct CallbackFixture : ::testing::Test {
    TASKCONTEXT ctx;
    RecordingWindow remaining, elapsed, count, bar, parts, info;

    void SetUp() override
    {
        LoadDefaultLanguageForTests();
        ctx.RemainingLabel = &remaining;
        ctx.ElapsedLabel = &elapsed;
        ctx.CountLabel = &count;
        ctx.ProgressBar = &bar;
        ctx.PartListBox = &parts;
        ctx.InfoBox = &info;
        ctx.RemainingPrefix = GetLanguageString(52);
        ctx.CountPrefix = GetLanguageString(53);
        ctx.ElapsedPrefix = GetLanguageString(51);
        OperationGate().set();
    }

    DWORD send(WIM_MESSAGE_CALLBACK callback, DWORD msg, WPARAM w = 0, LPARAM l = 0)
    {
        return callback(msg, w, l, &ctx);
    }
};

TEST_F(CallbackFixture, RemainingTimeForecastsUntilTheFirstEstimateThenShowsZero)
{
    for (WIM_MESSAGE_CALLBACK cb : {ApplyProgressCallback, CaptureProgressCallback, ExportProgressCallback}) {
        ctx.resetProgress();
        remaining.texts.clear();
        bar.percentTexts.clear();
        send(cb, WIM_MSG_PROGRESS, 5, 0);
        send(cb, WIM_MSG_PROGRESS, 10, 3723000);
        send(cb, WIM_MSG_PROGRESS, 99, 0);
        EXPECT_EQ(remaining.texts, (QStringList{QStringLiteral("剩余时间：预测中..."), QStringLiteral("剩余时间：01:02:03"),
                                                QStringLiteral("剩余时间：00:00:00")}));
        EXPECT_EQ(bar.percentTexts, (QStringList{"5%", "10%", "99%"}));
        EXPECT_EQ(ctx.PercentText, QStringLiteral("99%"));
        EXPECT_EQ(ctx.PercentLength, 3);
    }
}

TEST_F(CallbackFixture, SplitOfTenGigabytesIntoFourGigabyteParts)
{
    constexpr int64_t gb = 1024LL * 1024 * 1024;
    ctx.SizeTotal = 10 * gb;
    const char16_t* names[] = {u"/t/p.swm", u"/t/p2.swm", u"/t/p3.swm"};
    const int64_t sizes[] = {4 * gb, 4 * gb, 2 * gb};
    for (int i = 0; i < 3; ++i) {
        int64_t size = sizes[i];
        EXPECT_EQ(send(SplitProgressCallback, WIM_MSG_SPLIT, WPARAM(&names[i]), LPARAM(&size)), 0u);
    }
    EXPECT_EQ(bar.percents, (QList<int>{40, 80, 100}));
    EXPECT_EQ(count.texts, (QStringList{QStringLiteral("文件数目：1"), QStringLiteral("文件数目：2"),
                                        QStringLiteral("文件数目：3")}));
    EXPECT_EQ(parts.appended, (QStringList{"/t/p.swm", "/t/p2.swm", "/t/p3.swm"}));
    // A split is paused by the gate but never aborted through the callback.
    ctx.Cancel = 1;
    int64_t size = gb;
    EXPECT_EQ(send(SplitProgressCallback, WIM_MSG_SPLIT, WPARAM(&names[0]), LPARAM(&size)), 0u);
}

TEST_F(CallbackFixture, FileCountsPerCallback)
{
    struct Row {
        const char* name;
        WIM_MESSAGE_CALLBACK cb;
        bool setposSetsProcessed;
        bool scanningSetsTotal;
    };
    const Row rows[] = {
        {"apply", ApplyProgressCallback, true, false},
        {"capture", CaptureProgressCallback, true, true},
        {"export", ExportProgressCallback, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ctx.resetProgress();
        count.texts.clear();
        send(row.cb, WIM_MSG_SCANNING, 0, 77);
        EXPECT_EQ(ctx.Total.load(), row.scanningSetsTotal ? 77u : 0u);
        send(row.cb, WIM_MSG_SETRANGE, 0, 10);
        EXPECT_EQ(count.lastText(), QStringLiteral("文件数目：0/10"));
        send(row.cb, WIM_MSG_SETPOS, 0, 4);
        EXPECT_EQ(count.lastText(), row.setposSetsProcessed ? QStringLiteral("文件数目：4/10") : QStringLiteral("文件数目：0/10"));
        send(row.cb, WIM_MSG_STEPIT);
        EXPECT_EQ(ctx.Processed.load(), row.setposSetsProcessed ? 5u : 1u);
    }
    // The all-images export only shows what the record holds.
    ctx.resetProgress();
    ctx.Total = 30;
    send(ExportAllProgressCallback, WIM_MSG_SETRANGE, 0, 10);
    EXPECT_EQ(count.lastText(), QStringLiteral("文件数目：0/30"));
}

TEST_F(CallbackFixture, ScaledPercentOfAnAllImagesExport)
{
    ctx.ImageShare = 25;
    ctx.ShareDone = 50;
    send(ExportAllProgressCallback, WIM_MSG_PROGRESS, 50, 1000);
    send(ExportAllProgressCallback, WIM_MSG_PROGRESS, 1, 1000);
    EXPECT_EQ(bar.percents, (QList<int>{63, 51})); // ceiling(12.5 + 50), ceiling(0.25 + 50)
    EXPECT_TRUE(remaining.texts.isEmpty());
}

// The decisions each callback makes on a path the engine proposes to process,
// compress or align, with and without lists.
TEST_F(CallbackFixture, ConfigurationDecisionsPerCallback)
{
    ConfigurationLists lists;
    lists.ExclusionList = {QStringLiteral("\\pagefile.sys"), QStringLiteral("*\\Temp")};
    lists.ExclusionExceptionList = {QStringLiteral("\\keep\\Temp")};
    lists.CompressionExclusionList = {QStringLiteral("*.wim")};
    lists.AlignmentList = {QStringLiteral("*.sdi")};
    ctx.RootLength = 5; // "/root"

    struct Row {
        const char* name;
        WIM_MESSAGE_CALLBACK cb;
        DWORD msg;
        const char16_t* path;
        bool withLists;
        BOOL expected;
    };
    const Row rows[] = {
        {"apply excludes", ApplyProgressCallback, WIM_MSG_PROCESS, u"/root/PageFile.SYS", true, FALSE},
        {"apply excludes deeper only by *", ApplyFilterCallback, WIM_MSG_PROCESS, u"/root/a/Temp", true, FALSE},
        {"exception beats exclusion", ApplyFilterCallback, WIM_MSG_PROCESS, u"/root/keep/Temp", true, TRUE},
        {"root pattern not deeper", CaptureFilterCallback, WIM_MSG_PROCESS, u"/root/w/pagefile.sys", true, TRUE},
        {"capture excludes", CaptureProgressCallback, WIM_MSG_PROCESS, u"/root/pagefile.sys", true, FALSE},
        {"no lists: process kept", CaptureProgressCallback, WIM_MSG_PROCESS, u"/root/pagefile.sys", false, TRUE},
        {"export does not filter", ExportProgressCallback, WIM_MSG_PROCESS, u"/root/pagefile.sys", true, TRUE},
        {"compression exclusion", CaptureFilterCallback, WIM_MSG_COMPRESS, u"/root/backup.WIM", true, FALSE},
        {"compression kept", CaptureProgressCallback, WIM_MSG_COMPRESS, u"/root/a.txt", true, TRUE},
        {"no lists: compress kept", CaptureFilterCallback, WIM_MSG_COMPRESS, u"/root/backup.wim", false, TRUE},
        {"apply ignores compress", ApplyFilterCallback, WIM_MSG_COMPRESS, u"/root/backup.wim", true, TRUE},
        {"unlisted not aligned", CaptureProgressCallback, WIM_MSG_ALIGNMENT, u"/root/a.txt", true, FALSE},
        {"listed aligned", CaptureFilterCallback, WIM_MSG_ALIGNMENT, u"/root/boot.sdi", true, TRUE},
        {"no lists: align kept", CaptureFilterCallback, WIM_MSG_ALIGNMENT, u"/root/a.txt", false, TRUE},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        static_cast<ConfigurationLists&>(ctx) = row.withLists ? lists : ConfigurationLists{};
        BOOL flag = TRUE;
        EXPECT_EQ(send(row.cb, row.msg, WPARAM(row.path), LPARAM(&flag)), 0u);
        EXPECT_EQ(flag, row.expected);
    }
    // A flag the engine already cleared stays cleared.
    static_cast<ConfigurationLists&>(ctx) = lists;
    BOOL flag = FALSE;
    send(ApplyFilterCallback, WIM_MSG_PROCESS, WPARAM(u"/root/keep/Temp"), LPARAM(&flag));
    EXPECT_EQ(flag, FALSE);
}

TEST_F(CallbackFixture, CancelAbortsOnlyWhereTheCallbackAsks)
{
    ctx.Cancel = 1;
    BOOL flag = TRUE;
    const LPARAM f = LPARAM(&flag);
    const WPARAM p = WPARAM(u"/x");
    EXPECT_EQ(send(ApplyProgressCallback, WIM_MSG_PROCESS, p, f), WIM_MSG_ABORT_IMAGE);
    EXPECT_EQ(send(ApplyProgressCallback, WIM_MSG_QUERY_ABORT), WIM_MSG_ABORT_IMAGE);
    EXPECT_EQ(send(CaptureProgressCallback, WIM_MSG_PROCESS, p, f), WIM_MSG_ABORT_IMAGE);
    EXPECT_EQ(send(ExportProgressCallback, WIM_MSG_PROCESS, p, f), WIM_MSG_ABORT_IMAGE);
    EXPECT_EQ(send(ExportAllProgressCallback, WIM_MSG_QUERY_ABORT), WIM_MSG_ABORT_IMAGE);
    EXPECT_EQ(send(ApplyFilterCallback, WIM_MSG_PROCESS, p, f), 0u);
    EXPECT_EQ(send(CaptureFilterCallback, WIM_MSG_PROCESS, p, f), 0u);
    EXPECT_EQ(send(ApplyProgressCallback, WIM_MSG_PROGRESS, 5, 5), 0u);
    EXPECT_EQ(send(ApplyProgressCallback, WIM_MSG_TEXT), 0u);
    ctx.Cancel = 0;
    EXPECT_EQ(send(ApplyProgressCallback, WIM_MSG_QUERY_ABORT), 0u);
    EXPECT_EQ(ApplyProgressCallback(WIM_MSG_QUERY_ABORT, 0, 0, nullptr), 0u);
}

TEST_F(CallbackFixture, WimlibConvertProgressPostsChangesAndAborts)
{
    wimlib_progress_info info{};
    info.write_streams.total_bytes = 1000;
    for (uint64_t done : {0u, 5u, 9u, 500u, 1000u}) {
        info.write_streams.completed_bytes = done;
        EXPECT_EQ(WimlibConvertProgress(WIMLIB_PROGRESS_MSG_WRITE_STREAMS, &info, &ctx), WIMLIB_PROGRESS_STATUS_CONTINUE);
    }
    EXPECT_EQ(bar.percents, (QList<int>{50, 100})); // 0 is the starting value; 0.5 and 0.9 round down
    info.write_streams.total_bytes = 0;
    EXPECT_EQ(WimlibConvertProgress(WIMLIB_PROGRESS_MSG_WRITE_STREAMS, &info, &ctx), WIMLIB_PROGRESS_STATUS_CONTINUE);
    EXPECT_EQ(bar.percents.last(), 0);
    ctx.Cancel = 1;
    EXPECT_EQ(WimlibConvertProgress(WIMLIB_PROGRESS_MSG_WRITE_STREAMS, &info, &ctx), WIMLIB_PROGRESS_STATUS_ABORT);
    EXPECT_EQ(WimlibConvertProgress(WIMLIB_PROGRESS_MSG_SCAN_BEGIN, &info, &ctx), WIMLIB_PROGRESS_STATUS_CONTINUE);
}

TEST_F(CallbackFixture, StepLogCompletesLinesAndKeepsTheFirstFailure)
{
    LogStep(ctx, 11);
    LogResult(ctx, true);
    LogStep(ctx, 14);
    LogResult(ctx, false, true, ENOENT);
    LogStep(ctx, 19);
    LogResult(ctx, false, false, EINVAL);
    const QString crlf = QStringLiteral("\r\n");
    // The system's text in the interface's language, never its English one.
    const QString error = ErrnoText(ENOENT);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(info.log(), QStringLiteral("打开映像文件...完成") + crlf + QStringLiteral("加载映像分卷...失败") + crlf
                              + error + crlf + QStringLiteral("展开映像文件...失败") + crlf);
    EXPECT_EQ(ctx.FailureText, QStringLiteral("加载映像分卷...失败: ") + error);
}

TEST_F(CallbackFixture, TickShowsElapsedTimeAndCount)
{
    ctx.StartTick = TickCount() - 62000;
    ctx.Processed = 3;
    ctx.Total = 9;
    TickElapsed(ctx);
    EXPECT_EQ(elapsed.lastText(), QStringLiteral("已用时间：00:01:02"));
    EXPECT_EQ(count.lastText(), QStringLiteral("文件数目：3/9"));
}

} // namespace
