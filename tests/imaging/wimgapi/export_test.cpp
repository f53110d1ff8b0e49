// SPDX-License-Identifier: GPL-3.0-or-later
// Export between files, and split sets made and read back.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

using namespace wimtest;
namespace fs = std::filesystem;

namespace {

class ExportTest : public SampleTreeTest {
protected:
    const char* wimName() const override { return "source.wim"; }
    void SetUp() override
    {
        SampleTreeTest::SetUp();
        source = wim;
        // Named images, as the pages name them after a capture.
        ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(source) + " 1 First"), 0);
        ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(source) + " 2 Second"), 0);
    }
    std::string source;
};

TEST_F(ExportTest, ExportOneAndAllImages)
{
    const std::string target = dir + "/target.esd";
    Handle src = OpenRead(source);
    {
        DWORD created = 9;
        Handle dst(WIMCreateFile(U(target).c_str(), WIM_GENERIC_READ | WIM_GENERIC_WRITE, WIM_OPEN_ALWAYS,
                                 WIM_FLAG_ALLOW_LZMS, WIM_COMPRESS_LZMS, &created));
        ASSERT_TRUE(dst);
        EXPECT_EQ(created, WIM_CREATED_NEW);
        MessageLog log;
        WIMRegisterMessageCallback(dst.get(), &MessageLog::Callback, &log);
        for (DWORD i = 1; i <= WIMGetImageCount(src.get()); ++i) {
            Handle image(WIMLoadImage(src.get(), i));
            ASSERT_TRUE(WIMExportImage(image.get(), dst.get(), 0)) << strerror(errno);
        }
        EXPECT_EQ(WIMGetImageCount(dst.get()), 2u);
        // Both exports are written together when the file closes.
        EXPECT_EQ(log.count(WIM_MSG_PROGRESS), 0);
        EXPECT_TRUE(WIMCloseHandle(dst.release())) << strerror(errno);
        EXPECT_GE(log.count(WIM_MSG_PROGRESS), 1);
    }
    EXPECT_TRUE(WimVerify(target));
    const std::string info = RunOutput("wimlib-imagex info " + Quote(target));
    EXPECT_NE(info.find("LZMS"), std::string::npos);
    EXPECT_NE(info.find("Second"), std::string::npos);
    Handle dst = OpenRead(target);
    Handle image(WIMLoadImage(dst.get(), 2));
    const std::string out = dir + "/out";
    ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0));
    EXPECT_EQ(CompareTrees(tree + "/sub", out), "");
}

TEST_F(ExportTest, AnImageAlreadyThereNeedsAllowDuplicates)
{
    const std::string target = dir + "/dup.wim";
    Handle src = OpenRead(source);
    Handle image(WIMLoadImage(src.get(), 1));
    Handle dst = OpenWrite(target, WIM_CREATE_ALWAYS);
    ASSERT_TRUE(WIMExportImage(image.get(), dst.get(), 0));
    errno = 0;
    EXPECT_FALSE(WIMExportImage(image.get(), dst.get(), 0));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(WIMGetImageCount(dst.get()), 1u);
    ASSERT_TRUE(WIMExportImage(image.get(), dst.get(), WIM_EXPORT_ALLOW_DUPLICATES)) << strerror(errno);
    EXPECT_EQ(WIMGetImageCount(dst.get()), 2u);
    dst.reset();
    EXPECT_TRUE(WimVerify(target));
    // Both copies carry the source's name.
    const std::string xml = RunOutput("wimlib-imagex info --xml " + Quote(target) + " | iconv -f UTF-16LE -t UTF-8");
    size_t first = xml.find("<NAME>First</NAME>");
    ASSERT_NE(first, std::string::npos) << xml;
    EXPECT_NE(xml.find("<NAME>First</NAME>", first + 1), std::string::npos) << xml;
}

// An image without a name is recognised by its tree and capture time: the
// second export is refused, in the same run and after the target was
// written, while the other image of the file still goes in.
TEST_F(ExportTest, AnUnnamedImageAlreadyThereIsRecognised)
{
    const std::string unnamed = dir + "/unnamed.wim";
    fs::copy_file(source, unnamed);
    ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(unnamed) + " 1 ''"), 0);
    ASSERT_EQ(RunCommand("wimlib-imagex info " + Quote(unnamed) + " 2 ''"), 0);
    const std::string target = dir + "/target.wim";
    Handle src = OpenRead(unnamed);
    Handle first(WIMLoadImage(src.get(), 1));
    {
        Handle dst = OpenWrite(target, WIM_CREATE_ALWAYS);
        ASSERT_TRUE(WIMExportImage(first.get(), dst.get(), 0)) << strerror(errno);
        errno = 0;
        EXPECT_FALSE(WIMExportImage(first.get(), dst.get(), 0));
        EXPECT_EQ(errno, EEXIST);
    }
    Handle dst = OpenWrite(target, WIM_OPEN_EXISTING);
    errno = 0;
    EXPECT_FALSE(WIMExportImage(first.get(), dst.get(), 0));
    EXPECT_EQ(errno, EEXIST);
    Handle second(WIMLoadImage(src.get(), 2));
    EXPECT_TRUE(WIMExportImage(second.get(), dst.get(), 0)) << strerror(errno);
    EXPECT_TRUE(WIMExportImage(first.get(), dst.get(), WIM_EXPORT_ALLOW_DUPLICATES)) << strerror(errno);
    EXPECT_EQ(WIMGetImageCount(dst.get()), 3u);
    dst.reset();
    EXPECT_TRUE(WimVerify(target));
}

TEST_F(ExportTest, SplitAndReattach)
{
    // Enough incompressible data for several parts of 64 KiB.
    std::string noise;
    uint32_t x = 12345;
    for (int i = 0; i < 400000; ++i) {
        x = x * 1103515245 + 12345;
        noise += static_cast<char>(x >> 24);
    }
    for (int i = 0; i < 4; ++i)
        WriteFile(tree + "/noise" + std::to_string(i), noise.substr(i * 100000, 100000));
    const std::string wim = dir + "/whole.wim";
    CaptureNew(wim, {tree});
    const std::string first = dir + "/parts.swm";
    std::vector<std::string> reported;
    {
        Handle file = OpenRead(wim);
        int64_t query = 0;
        ASSERT_TRUE(WIMSplitFile(file.get(), nullptr, &query, 0));
        EXPECT_GE(query, 100000);
        MessageLog log;
        WIMRegisterMessageCallback(file.get(), &MessageLog::Callback, &log);
        int64_t size = 150 * 1024;
        ASSERT_TRUE(WIMSplitFile(file.get(), U(first).c_str(), &size, 0)) << strerror(errno);
        // One SPLIT message per part, with its path and size; the percent only rises.
        for (const auto& [path, partSize] : log.parts) {
            reported.push_back(path);
            EXPECT_EQ(partSize, static_cast<int64_t>(fs::file_size(path)));
        }
        int last = -1;
        for (const auto& e : log.entries) {
            if (e.msg == WIM_MSG_PROGRESS) {
                EXPECT_GT(static_cast<int>(e.w), last);
                last = static_cast<int>(e.w);
            }
        }
        EXPECT_EQ(last, 100);
    }
    // Parts are base.swm, base2.swm, base3.swm ...
    ASSERT_GE(reported.size(), 3u);
    EXPECT_EQ(reported[0], first);
    EXPECT_EQ(reported[1], dir + "/parts2.swm");
    EXPECT_EQ(reported[2], dir + "/parts3.swm");

    Handle file = OpenRead(first);
    WIM_INFO info{};
    ASSERT_TRUE(WIMGetAttributes(file.get(), &info, sizeof(info)));
    EXPECT_EQ(info.PartNumber, 1);
    EXPECT_EQ(info.TotalParts, reported.size());
    EXPECT_NE(info.WimAttributes & WIM_ATTRIBUTE_SPANNED, 0u);
    // Without its other parts the image cannot be applied.
    {
        Handle image(WIMLoadImage(file.get(), 1));
        ASSERT_TRUE(image);
        errno = 0;
        EXPECT_FALSE(WIMApplyImage(image.get(), U(dir + "/incomplete").c_str(), 0));
        EXPECT_EQ(errno, ENOENT);
    }
    errno = 0;
    EXPECT_FALSE(WIMSetReferenceFile(file.get(), U(dir + "/parts99.swm").c_str(), WIM_REFERENCE_APPEND));
    EXPECT_EQ(errno, ENOENT);
    for (size_t i = 1; i < reported.size(); ++i)
        ASSERT_TRUE(WIMSetReferenceFile(file.get(), U(reported[i]).c_str(), WIM_REFERENCE_APPEND));
    Handle image(WIMLoadImage(file.get(), 1));
    const std::string out = dir + "/joined";
    ASSERT_TRUE(WIMApplyImage(image.get(), U(out).c_str(), 0)) << strerror(errno);
    EXPECT_EQ(CompareTrees(tree, out), "");
    // Merging the set back into one file by exporting all images.
    const std::string merged = dir + "/merged.wim";
    Handle dst = OpenWrite(merged, WIM_CREATE_ALWAYS);
    ASSERT_TRUE(WIMExportImage(image.get(), dst.get(), 0)) << strerror(errno);
    dst.reset();
    EXPECT_TRUE(WimVerify(merged));
}

} // namespace
