// SPDX-License-Identifier: GPL-3.0-or-later
// Capture, append and apply through the layer, with callbacks: progress,
// exclusion by WIM_MSG_PROCESS and abort.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <thread>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

using CaptureTest = SampleTreeTest;

class CompressionRoundTrip : public CaptureTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(CompressionRoundTrip, CaptureThenApplyGivesTheSameTree)
{
    const DWORD compression = GetParam();
    const std::string wim = dir + "/round.wim";
    {
        Handle file = OpenWrite(wim, WIM_CREATE_ALWAYS, compression);
        ASSERT_TRUE(file) << strerror(errno);
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        ASSERT_TRUE(image) << strerror(errno);
        // The new image reaches the file, whole, when its handle closes.
        EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    0"), std::string::npos);
        EXPECT_TRUE(WIMCloseHandle(image.release())) << strerror(errno);
        EXPECT_TRUE(WimVerify(wim));
        EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    1"), std::string::npos);
    }
    Handle file = OpenRead(wim);
    ASSERT_TRUE(file);
    Handle image(WIMLoadImage(file.get(), 1));
    ASSERT_TRUE(image);
    const std::string out = dir + "/applied";
    ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), WIM_FLAG_FILEINFO | WIM_FLAG_NO_DIRACL | WIM_FLAG_NO_FILEACL))
        << strerror(errno);
    EXPECT_EQ(CompareTrees(tree, out), "");
}

INSTANTIATE_TEST_SUITE_P(AllTypes, CompressionRoundTrip,
                         ::testing::Values(WIM_COMPRESS_NONE, WIM_COMPRESS_XPRESS, WIM_COMPRESS_LZX,
                                           WIM_COMPRESS_LZMS));

TEST_F(CaptureTest, AppendAddsImagesAndKeepsEarlierOnes)
{
    const std::string wim = dir + "/append.wim";
    CaptureNew(wim, {tree});
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        ASSERT_TRUE(file);
        Handle image(WIMCaptureImage(file.get(), U(tree + "/sub").c_str(), 0));
        ASSERT_TRUE(image) << strerror(errno);
        EXPECT_EQ(WIMGetImageCount(file.get()), 2u);
    }
    EXPECT_TRUE(WimVerify(wim));
    Handle file = OpenRead(wim);
    for (DWORD i : {1u, 2u}) {
        Handle image(WIMLoadImage(file.get(), i));
        ASSERT_TRUE(image);
        const std::string out = dir + "/out" + std::to_string(i);
        ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0));
        EXPECT_EQ(CompareTrees(i == 1 ? tree : tree + "/sub", out), "");
    }
}

TEST_F(CaptureTest, CaptureSendsProgressAndProcessMessages)
{
    fs::create_directories(tree + "/big");
    for (int i = 0; i < 40; ++i) {
        std::string data;
        for (int k = 0; k < 30000; ++k)
            data += static_cast<char>((k * 7919 + i * 31) % 251);
        WriteFile(tree + "/big/f" + std::to_string(i), data);
    }
    const std::string wim = dir + "/progress.wim";
    Handle file = OpenWrite(wim, WIM_CREATE_ALWAYS);
    MessageLog log;
    ASSERT_NE(WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log), INVALID_CALLBACK_VALUE);
    Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
    ASSERT_TRUE(image) << strerror(errno);
    // The write, and its progress, come when the image's handle closes.
    image.reset();
    EXPECT_TRUE(WIMUnregisterMessageCallback(file.get(), &MessageLog::Callback));

    // One PROCESS per path found, with the full disk path.
    EXPECT_NE(std::find(log.processed.begin(), log.processed.end(), tree + "/sub/deeper/c.log"), log.processed.end());
    EXPECT_NE(std::find(log.processed.begin(), log.processed.end(), tree + "/中文目录/文件.txt"), log.processed.end());
    EXPECT_GE(log.count(WIM_MSG_SCANNING), 1);
    EXPECT_GE(log.count(WIM_MSG_SETRANGE), 1);
    // Percent only rises and is sent at most once per step.
    int last = -1;
    int progress = 0;
    for (const auto& e : log.entries) {
        if (e.msg != WIM_MSG_PROGRESS)
            continue;
        ++progress;
        EXPECT_GT(static_cast<int>(e.w), last);
        EXPECT_LE(e.w, 100u);
        last = static_cast<int>(e.w);
    }
    EXPECT_GE(progress, 1);
    EXPECT_EQ(last, 100);
}

TEST_F(CaptureTest, ExclusionByProcessInCaptureAndApply)
{
    const std::string wim = dir + "/exclude.wim";
    {
        Handle file = OpenWrite(wim, WIM_CREATE_ALWAYS);
        MessageLog log;
        log.excludeSuffix = "/skip.tmp";
        ASSERT_NE(WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log), INVALID_CALLBACK_VALUE);
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        ASSERT_TRUE(image);
    }
    const std::string out = dir + "/no-skip";
    {
        Handle file = OpenRead(wim);
        Handle image(WIMLoadImage(file.get(), 1));
        ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0));
    }
    EXPECT_FALSE(fs::exists(out + "/skip.tmp"));
    EXPECT_TRUE(fs::exists(out + "/a.txt"));

    // Apply: every path of the image is offered, with the target's prefix;
    // an excluded folder takes its contents along; the file is unchanged.
    CaptureNew(wim, {tree});
    const std::string before = ReadFile(wim);
    const std::string target = dir + "/partial";
    {
        Handle file = OpenRead(wim);
        MessageLog log;
        log.excludeSuffix = "/sub";
        ASSERT_NE(WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log), INVALID_CALLBACK_VALUE);
        Handle image(WIMLoadImage(file.get(), 1));
        ASSERT_TRUE(WIMApplyImage(image.get(), U(target).c_str(), 0)) << strerror(errno);
        EXPECT_NE(std::find(log.processed.begin(), log.processed.end(), target + "/a.txt"), log.processed.end());
        EXPECT_EQ(std::find(log.processed.begin(), log.processed.end(), target + "/sub/b.bin"), log.processed.end());
        // The exclusion is forgotten once the apply is done.
        WIMUnregisterMessageCallback(file.get(), nullptr);
        const std::string full = dir + "/full";
        ASSERT_TRUE(WIMApplyImage(image.get(), U(full).c_str(), 0));
        EXPECT_EQ(CompareTrees(tree, full), "");
    }
    EXPECT_FALSE(fs::exists(target + "/sub"));
    EXPECT_TRUE(fs::exists(target + "/中文目录/文件.txt"));
    EXPECT_EQ(ReadFile(wim), before);
}

TEST_F(CaptureTest, AbortLeavesEarlierImagesIntact)
{
    const std::string wim = dir + "/abort.wim";
    CaptureNew(wim, {tree});
    // New data, so that the append really writes something.
    WriteFile(tree + "/sub/new.dat", std::string(300000, 'n'));
    struct Case {
        const char* name;
        DWORD msg;
        int after;
    };
    for (const Case& c : {Case{"on process", WIM_MSG_PROCESS, 2}, Case{"on progress", WIM_MSG_PROGRESS, 0}}) {
        SCOPED_TRACE(c.name);
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        MessageLog log;
        log.abortOn = c.msg;
        log.abortAfter = c.after;
        ASSERT_NE(WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log), INVALID_CALLBACK_VALUE);
        errno = 0;
        // Progress comes with the write, when the captured image's handle
        // closes; an abort there fails the close.
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        if (image) {
            EXPECT_EQ(c.msg, static_cast<DWORD>(WIM_MSG_PROGRESS));
            EXPECT_FALSE(WIMCloseHandle(image.release()));
        }
        EXPECT_EQ(errno, ECANCELED);
        EXPECT_EQ(WIMGetImageCount(file.get()), 1u);
        file.reset();
        EXPECT_TRUE(WimVerify(wim));
        EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    1"), std::string::npos);
    }
    // Aborting the very first capture into a new file leaves nothing behind.
    const std::string fresh = dir + "/fresh.wim";
    Handle file = OpenWrite(fresh, WIM_CREATE_ALWAYS);
    MessageLog log;
    log.abortOn = WIM_MSG_PROCESS;
    WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log);
    EXPECT_EQ(WIMCaptureImage(file.get(), U(tree).c_str(), 0), nullptr);
    EXPECT_EQ(errno, ECANCELED);
    file.reset();
    EXPECT_FALSE(fs::exists(fresh));

    // An apply aborted by the callback fails with ECANCELED as well.
    Handle src = OpenRead(wim);
    MessageLog applyLog;
    applyLog.abortOn = WIM_MSG_PROCESS;
    WIMRegisterMessageCallback(src.get(), &MessageLog::Callback, &applyLog);
    Handle image(WIMLoadImage(src.get(), 1));
    errno = 0;
    EXPECT_FALSE(WIMApplyImage(image.get(), U(dir + "/never").c_str(), 0));
    EXPECT_EQ(errno, ECANCELED);
}

TEST_F(CaptureTest, DifferentHandlesWorkOnDifferentThreads)
{
    std::vector<std::thread> threads;
    bool ok[2] = {false, false};
    for (int t = 0; t < 2; ++t) {
        threads.emplace_back([&, t] {
            const std::string wim = dir + "/thread" + std::to_string(t) + ".wim";
            Handle file = OpenWrite(wim, WIM_CREATE_ALWAYS);
            for (int i = 0; i < 3 && file; ++i) {
                Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
                if (!image)
                    return;
            }
            ok[t] = file && WIMGetImageCount(file.get()) == 3;
        });
    }
    for (auto& th : threads)
        th.join();
    EXPECT_TRUE(ok[0]);
    EXPECT_TRUE(ok[1]);
    EXPECT_TRUE(WimVerify(dir + "/thread0.wim"));
    EXPECT_TRUE(WimVerify(dir + "/thread1.wim"));
}

} // namespace
