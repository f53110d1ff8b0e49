// SPDX-License-Identifier: GPL-3.0-or-later
// The stop protocol with a real worker that halts on the run event, the
// forced stop, the ticker, and updates posted to the GUI thread in order.
#include "imaging/callbacks.h"
#include "imaging/progress.h"
#include "imaging/taskrun.h"
#include "imaging/ticker.h"
#include "tasktestutil.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Waits (bounded) until `done` holds; pumps the GUI thread's events meanwhile.
template <typename Pred>
bool waitUntil(Pred done, std::chrono::milliseconds limit = 20s)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// A worker like the real ones: it asks its callback again and again until the
// callback answers abort, the way the imaging layer does during an operation.
struct WorkerFixture : ::testing::Test {
    TASKCONTEXT ctx;
    RecordingWindow info;
    QObject poster; // lives on the test's (GUI) thread
    std::atomic<int> asked{0};
    std::atomic<bool> inCallback{false};
    std::atomic<bool> finished{false};
    std::atomic<bool> aborted{false};

    void SetUp() override
    {
        LoadDefaultLanguageForTests();
        ctx.InfoBox = &info;
        ctx.Poster = &poster;
    }
    void TearDown() override
    {
        OperationGate().set();
        ctx.Cancel = 1;
        EXPECT_TRUE(PrepareTaskStart(20s));
    }

    void start()
    {
        ASSERT_TRUE(StartTaskWorker(
            ctx,
            [this] {
                LogStep(ctx, 15);
                BeginTaskRun(ctx);
                for (;;) {
                    inCallback = true;
                    const DWORD answer = ApplyProgressCallback(WIM_MSG_QUERY_ABORT, 0, 0, &ctx);
                    inCallback = false;
                    if (answer == WIM_MSG_ABORT_IMAGE)
                        break;
                    ++asked;
                    std::this_thread::sleep_for(1ms);
                }
                aborted = true;
                LogResult(ctx, false);
                EndTaskRun(ctx);
            },
            [this] { finished = true; }));
    }
};

TEST_F(WorkerFixture, StopHaltsTheWorkerAndContinueOrStopResumesIt)
{
    start();
    ASSERT_TRUE(waitUntil([&] { return asked.load() > 3; }));
    int seen = 0;
    const StopChoice first = StopOperation(ctx, [&] {
        // While the question is open the worker waits inside its callback.
        EXPECT_TRUE(waitUntil([&] { return inCallback.load(); }));
        seen = asked.load();
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(asked.load(), seen);
        EXPECT_FALSE(OperationGate().isSet());
        return StopChoice::Continue;
    });
    EXPECT_EQ(first, StopChoice::Continue);
    EXPECT_TRUE(OperationGate().isSet());
    ASSERT_TRUE(waitUntil([&] { return asked.load() > seen + 3; })) << "the worker did not go on";
    EXPECT_FALSE(aborted.load());

    StopOperation(ctx, [] { return StopChoice::Stop; });
    ASSERT_TRUE(waitUntil([&] { return finished.load(); }));
    EXPECT_TRUE(aborted.load());
    EXPECT_EQ(ctx.Cancel.load(), 1u);
    EXPECT_FALSE(OperationGate().isSet()); // the worker reset it at its end
    EXPECT_EQ(ctx.GateHandle.load(), nullptr);
    EXPECT_EQ(info.log(), QStringLiteral("开始展开映像...失败\r\n用户终止了操作！\r\n"));
}

TEST_F(WorkerFixture, ForcedStopAbandonsTheWorkerAndIdlesAtOnce)
{
    start();
    ASSERT_TRUE(waitUntil([&] { return asked.load() > 0; }));
    StopOperation(ctx, [&] {
        EXPECT_TRUE(waitUntil([&] { return inCallback.load(); }));
        return StopChoice::ForceStop;
    });
    // Idle at once: no operation counts as running, though the abandoned
    // worker may still be finishing.
    EXPECT_FALSE(TaskWorker().isRunning());
    ASSERT_TRUE(PrepareTaskStart(20s));
    EXPECT_TRUE(aborted.load());
    waitUntil([] { return false; }, 100ms); // deliver whatever was posted
    EXPECT_FALSE(finished.load()) << "the page was told twice that the operation ended";
    const QString crlf = QStringLiteral("\r\n");
    EXPECT_EQ(info.log(), QStringLiteral("开始展开映像...") + GetLanguageString(22) + crlf + crlf + GetLanguageString(20)
                              + crlf + GetLanguageString(283) + crlf);

    // The next operation on the same record runs normally.
    asked = 0;
    aborted = false;
    info.appended.clear();
    start();
    ASSERT_TRUE(waitUntil([&] { return asked.load() > 0; }));
    StopOperation(ctx, [] { return StopChoice::Stop; });
    ASSERT_TRUE(waitUntil([&] { return finished.load(); }));
    EXPECT_EQ(info.log(), QStringLiteral("开始展开映像...失败\r\n用户终止了操作！\r\n"));
}

TEST_F(WorkerFixture, SecondStartIsRefusedWhileOneRuns)
{
    start();
    EXPECT_FALSE(PrepareTaskStart(0ms));
    EXPECT_FALSE(StartTaskWorker(ctx, [] {}));
    RequestCancel(ctx);
    ASSERT_TRUE(waitUntil([&] { return finished.load(); }));
}

TEST(PostedUpdates, ArriveOnThePosterThreadInOrder)
{
    TASKCONTEXT ctx;
    RecordingWindow label;
    QObject poster;
    ctx.Poster = &poster;
    const std::thread::id gui = std::this_thread::get_id();
    std::atomic<int> offThread{0};
    FunctionTaskWindow checked;
    checked.onSetText = [&](const QString& t) {
        if (std::this_thread::get_id() != gui)
            ++offThread;
        label.setText(t);
    };
    std::thread worker([&] {
        for (int i = 0; i < 500; ++i)
            PostText(ctx, &checked, QString::number(i));
    });
    worker.join();
    EXPECT_EQ(label.textCount(), 0) << "an update was applied on the worker thread";
    ASSERT_TRUE(waitUntil([&] { return label.textCount() == 500; }));
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(label.texts.at(i), QString::number(i));
    EXPECT_EQ(offThread.load(), 0);

    // Updates of a run that was abandoned before they arrived are dropped.
    PostText(ctx, &checked, QStringLiteral("stale"));
    ++ctx.RunId;
    waitUntil([] { return false; }, 50ms);
    EXPECT_EQ(label.lastText(), QStringLiteral("499"));
}

TEST(Ticker, TicksElapsedTimeUntilStopped)
{
    LoadDefaultLanguageForTests();
    TASKCONTEXT ctx;
    RecordingWindow elapsed;
    ctx.ElapsedLabel = &elapsed;
    ctx.ElapsedPrefix = QStringLiteral("E ");
    ctx.StartTick = TickCount();
    StartTicker(ctx);
    ASSERT_TRUE(waitUntil([&] { return elapsed.textCount() >= 2; })); // the first tick and one a second later
    StopTicker(ctx); // returns once the ticker thread has left
    const int ticks = elapsed.textCount();
    EXPECT_TRUE(elapsed.lastText().startsWith(QStringLiteral("E 00:00:0")));
    std::this_thread::sleep_for(1200ms);
    EXPECT_EQ(elapsed.textCount(), ticks);
    StopTicker(ctx); // stopping twice is harmless
}

TEST(Ticker, EachOperationStopsOnlyItsOwnTicker)
{
    // A task that ends late (its dialog closed early) stops its own ticker;
    // the operation that started meanwhile keeps its elapsed time running.
    LoadDefaultLanguageForTests();
    TASKCONTEXT late;
    TASKCONTEXT current;
    RecordingWindow lateLabel;
    RecordingWindow currentLabel;
    late.ElapsedLabel = &lateLabel;
    current.ElapsedLabel = &currentLabel;
    late.StartTick = current.StartTick = TickCount();
    StartTicker(late);
    StartTicker(current);
    ASSERT_TRUE(waitUntil([&] { return currentLabel.textCount() >= 1 && lateLabel.textCount() >= 1; }));
    StopTicker(late);
    const int ticks = currentLabel.textCount();
    EXPECT_TRUE(waitUntil([&] { return currentLabel.textCount() > ticks; }, 3s));
    StopTicker(current);
}

TEST(Gate, AnAbandonedWorkerNeverHaltsOnTheGate)
{
    // After a forced stop nobody answers for the abandoned worker: a closed
    // gate must not hold it until the process ends.
    TASKCONTEXT ctx;
    CEVENT gate(false);
    ctx.GateHandle = &gate;
    ctx.Abandoned = 1;
    std::atomic<bool> returned{false};
    std::atomic<DWORD> answer{0};
    std::thread worker([&] {
        answer = WaitAndAsk(ctx);
        returned = true;
    });
    const bool done = waitUntil([&] { return returned.load(); }, 5s);
    if (!done)
        gate.set(); // let the thread end so the test can report
    worker.join();
    EXPECT_TRUE(done);
    EXPECT_EQ(answer.load(), DWORD(0xFFFFFFFF));
}

} // namespace
