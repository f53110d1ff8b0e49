// SPDX-License-Identifier: GPL-3.0-or-later
// Changes that must not cost the images a file already holds: two handles
// writing the same file, a split aimed at its own source or aborted, a handle used after
// its close, a callback that calls back into the layer.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

class SafetyTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "safety.wim"; }
};

TEST_F(SafetyTest, TwoWriteHandlesOnOneFileKeepEachOthersImages)
{
    Handle first = OpenWrite(wim, WIM_OPEN_EXISTING);
    Handle second = OpenWrite(wim, WIM_OPEN_EXISTING);
    ASSERT_TRUE(first && second);
    WriteFile(tree + "/sub/first.dat", std::string(200000, 'f'));
    Handle a(WIMCaptureImage(first.get(), U(tree).c_str(), 0));
    ASSERT_TRUE(a) << strerror(errno);
    // While the first change is under way the file is locked: the second
    // fails and changes nothing, in this process and in wimlib-imagex.
    errno = 0;
    EXPECT_EQ(WIMCaptureImage(second.get(), U(tree + "/sub").c_str(), 0), nullptr);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_NE(RunCommand("wimlib-imagex info " + Quote(wim) + " 1 Taken"), 0);
    a.reset();
    WriteFile(tree + "/sub/second.dat", std::string(200000, 's'));
    Handle b(WIMCaptureImage(second.get(), U(tree + "/sub").c_str(), 0));
    ASSERT_TRUE(b) << strerror(errno);
    EXPECT_EQ(WIMGetImageCount(second.get()), 4u);
    b.reset();
    first.reset();
    second.reset();
    EXPECT_TRUE(WimVerify(wim));
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    4"), std::string::npos);
}

TEST_F(SafetyTest, SplitNeverWritesAPartOverItsSource)
{
    // The source named as the first part, and as the second part of a set
    // whose first part is new.
    const std::string second = dir + "/set2.swm";
    ASSERT_EQ(::rename(wim.c_str(), second.c_str()), 0);
    struct Case {
        const char* name;
        std::string firstPart;
    };
    for (const Case& c : {Case{"first part", second}, Case{"second part", dir + "/set.swm"}}) {
        SCOPED_TRACE(c.name);
        const std::string before = ReadFile(second);
        Handle file = OpenRead(second);
        ASSERT_TRUE(file);
        int64_t size = 512; // several parts even for this small file
        errno = 0;
        EXPECT_FALSE(WIMSplitFile(file.get(), U(c.firstPart).c_str(), &size, 0));
        EXPECT_EQ(errno, EINVAL);
        file.reset();
        EXPECT_TRUE(ReadFile(second) == before) << "the source file was changed";
        EXPECT_TRUE(WimVerify(second));
    }
}

TEST_F(SafetyTest, AClosedHandleNeverReachesALaterFile)
{
    const std::string other = dir + "/other.wim";
    CaptureNew(other, {tree});
    const std::string before = ReadFile(other);
    HANDLE closed =
        WIMCreateFile(U(wim).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_EXISTING, 0, 0, nullptr);
    ASSERT_NE(closed, nullptr);
    ASSERT_TRUE(WIMCloseHandle(closed));
    // The next file opened in the same way must not answer to the old handle.
    Handle later = OpenWrite(other, WIM_OPEN_EXISTING);
    ASSERT_TRUE(later);
    errno = 0;
    EXPECT_FALSE(WIMDeleteImage(closed, 1));
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(WIMGetImageCount(closed), 0u);
    EXPECT_FALSE(WIMCloseHandle(closed));
    EXPECT_EQ(WIMGetImageCount(later.get()), 1u);
    later.reset();
    EXPECT_TRUE(ReadFile(other) == before);
}

TEST_F(SafetyTest, AbortedSplitLeavesNoPartBehind)
{
    std::string noise;
    uint32_t x = 99;
    for (int i = 0; i < 300000; ++i) {
        x = x * 1103515245 + 12345;
        noise += static_cast<char>(x >> 24);
    }
    for (int i = 0; i < 3; ++i)
        WriteFile(tree + "/noise" + std::to_string(i), noise.substr(i * 100000, 100000));
    const std::string whole = dir + "/whole.wim";
    CaptureNew(whole, {tree});
    const std::string before = ReadFile(whole);
    Handle file = OpenRead(whole);
    MessageLog log;
    log.abortOn = WIM_MSG_SPLIT;
    log.abortAfter = 1; // after the second part is written
    WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log);
    int64_t size = 120 * 1024;
    errno = 0;
    EXPECT_FALSE(WIMSplitFile(file.get(), U(dir + "/cut.swm").c_str(), &size, 0));
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_GE(log.parts.size(), 2u);
    for (const auto& [path, partSize] : log.parts)
        EXPECT_FALSE(std::filesystem::exists(path)) << path;
    file.reset();
    EXPECT_TRUE(ReadFile(whole) == before);
    EXPECT_TRUE(WimVerify(whole));
}

// Every path offered to a callback is well-formed UTF-16 of its full length.
DWORD checkUnits(DWORD msg, WPARAM w, LPARAM, void* user)
{
    if (msg != WIM_MSG_PROCESS)
        return WIM_MSG_SUCCESS;
    auto* bad = static_cast<std::vector<std::string>*>(user);
    const auto* p = reinterpret_cast<const char16_t*>(w);
    size_t n = 0;
    bool ok = true;
    for (; p[n]; ++n) {
        const bool high = p[n] >= 0xD800 && p[n] < 0xDC00;
        const bool low = p[n] >= 0xDC00 && p[n] < 0xE000;
        if (high && !(p[n + 1] >= 0xDC00 && p[n + 1] < 0xE000))
            ok = false;
        else if (high)
            ++n;
        else if (low)
            ok = false;
    }
    // The names below all end in "end"; a path cut short does not.
    const std::u16string text(p, n);
    if (text.find(u"/bytes/") != std::u16string::npos && text.substr(text.size() - 3) != u"end")
        ok = false;
    if (!ok)
        bad->push_back(S(p));
    return WIM_MSG_SUCCESS;
}

TEST_F(SafetyTest, NamesThatAreNotUtf8ReachCallbacksAsValidText)
{
    // Over-long zero, an encoded surrogate, a value past U+10FFFF, a lead
    // byte of the unused F5..F7 range. wimlib may refuse such a name once it
    // has been offered, so each gets a capture of its own.
    const char* names[] = {"a\xC0\x80" "end", "b\xED\xA0\x80" "end", "c\xF4\x90\x80\x80" "end",
                           "d\xF7\xBF\xBF\xBF" "end"};
    std::vector<std::string> bad;
    for (size_t i = 0; i < std::size(names); ++i) {
        const std::string src = dir + "/bytes" + std::to_string(i) + "/bytes";
        std::filesystem::create_directories(src);
        WriteFile(src + "/" + names[i], "x");
        Handle file = OpenWrite(dir + "/bytes" + std::to_string(i) + ".wim", WIM_CREATE_ALWAYS);
        WIMRegisterMessageCallback(file.get(), &checkUnits, &bad);
        // The write may refuse the name; only the text offered matters here.
        if (HANDLE image = WIMCaptureImage(file.get(), U(src).c_str(), 0))
            WIMCloseHandle(image);
        // Qt's clean-up of the test home cannot name these files.
        std::filesystem::remove_all(dir + "/bytes" + std::to_string(i));
    }
    EXPECT_EQ(bad, std::vector<std::string>{});
}

struct Reentry {
    HANDLE file = nullptr;
    bool called = false;
    DWORD count = 0;
    int error = 0;
    static DWORD Callback(DWORD msg, WPARAM, LPARAM, void* user)
    {
        auto* r = static_cast<Reentry*>(user);
        if (msg == WIM_MSG_PROCESS && !r->called) {
            r->called = true;
            errno = 0;
            r->count = WIMGetImageCount(r->file);
            r->error = errno;
        }
        return 0;
    }
};

TEST_F(SafetyTest, CallbackCallingTheSameFileFailsInsteadOfHanging)
{
    Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
    Reentry r;
    r.file = file.get();
    ASSERT_NE(WIMRegisterMessageCallback(file.get(), &Reentry::Callback, &r), INVALID_CALLBACK_VALUE);
    Handle image(WIMCaptureImage(file.get(), U(tree + "/sub").c_str(), 0));
    EXPECT_TRUE(image) << strerror(errno);
    EXPECT_TRUE(r.called);
    EXPECT_EQ(r.count, 0u);
    EXPECT_EQ(r.error, EDEADLK);
    image.reset();
    file.reset();
    EXPECT_TRUE(WimVerify(wim));
}

} // namespace

namespace {

TEST_F(SafetyTest, ReplacementAndAppendExcludeEachOther)
{
    const std::string writer = KESTREL_BUILD_DIR "/tests/bin/wimgapi_writer";
    const std::string fresh = dir + "/fresh.wim";
    CaptureNew(fresh, {tree + "/sub"});
    const std::string freshBytes = ReadFile(fresh);
    ASSERT_EQ(::chmod(wim.c_str(), 0640), 0);

    // A replacement while an append is under way fails and changes nothing.
    Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
    Handle image(WIMCaptureImage(file.get(), U(tree + "/sub").c_str(), 0));
    ASSERT_TRUE(image) << strerror(errno);
    EXPECT_EQ(RunCommand(Quote(writer) + " replace " + Quote(fresh) + " " + Quote(wim)), EBUSY);
    EXPECT_TRUE(fs::exists(fresh));
    EXPECT_TRUE(WIMCloseHandle(image.release())) << strerror(errno);
    file.reset();
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    3"), std::string::npos);

    // A file put in its place by a program that does not lock: the append
    // made from the old file is refused instead of written into the new one.
    Handle second = OpenWrite(wim, WIM_OPEN_EXISTING);
    Handle appended(WIMCaptureImage(second.get(), U(tree).c_str(), 0));
    ASSERT_TRUE(appended) << strerror(errno);
    const std::string other = dir + "/other.wim";
    fs::copy_file(fresh, other);
    ASSERT_EQ(::rename(other.c_str(), wim.c_str()), 0);
    errno = 0;
    EXPECT_FALSE(WIMCloseHandle(appended.release()));
    EXPECT_EQ(errno, EBUSY);
    second.reset();
    EXPECT_TRUE(ReadFile(wim) == freshBytes);

    // The replacement itself keeps the file's permission bits.
    CaptureNew(other, {tree});
    ASSERT_EQ(::chmod(wim.c_str(), 0640), 0);
    ASSERT_EQ(RunCommand(Quote(writer) + " replace " + Quote(other) + " " + Quote(wim)), 0);
    struct stat st{};
    ASSERT_EQ(::stat(wim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(WimVerify(wim));

    // A file created over an existing one is a replacement too: it keeps the
    // mode, and the new file a killed replacement left behind is removed.
    const std::string stale = wim + ".kestrel-new-999999999-abcdef";
    WriteFile(stale, "left by a replacement that was killed");
    ASSERT_EQ(::chmod(wim.c_str(), 0604), 0);
    {
        Handle recreated = OpenWrite(wim, WIM_CREATE_ALWAYS);
        ASSERT_TRUE(recreated) << strerror(errno);
    }
    EXPECT_FALSE(fs::exists(stale));
    ASSERT_EQ(::stat(wim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_NE(RunOutput("wimlib-imagex info " + Quote(wim)).find("Image Count:    0"), std::string::npos);

    // The first image written into the empty file replaces it whole; the
    // mode stays and no new file is left beside it.
    {
        Handle file = OpenWrite(wim, WIM_OPEN_EXISTING);
        Handle image(WIMCaptureImage(file.get(), U(tree).c_str(), 0));
        ASSERT_TRUE(image) << strerror(errno);
    }
    ASSERT_EQ(::stat(wim.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0604u);
    EXPECT_TRUE(WimVerify(wim));
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().filename().string().find(".kestrel-new-"), std::string::npos) << entry.path();
}

} // namespace
