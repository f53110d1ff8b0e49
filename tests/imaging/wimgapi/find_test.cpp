// SPDX-License-Identifier: GPL-3.0-or-later
// Listing folders inside an image.
#include "wimtestsupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <map>
#include <sys/stat.h>

using namespace wimtest;

namespace {

std::map<std::string, WIM_FIND_DATA> list(HANDLE image, const std::string& pattern)
{
    std::map<std::string, WIM_FIND_DATA> out;
    WIM_FIND_DATA data{};
    Handle find(WIMFindFirstImageFile(image, U(pattern).c_str(), &data));
    if (!find)
        return out;
    do
        out[S(data.cFileName)] = data;
    while (WIMFindNextImageFile(find.get(), &data));
    EXPECT_EQ(errno, ENOENT);
    return out;
}

TEST(FindTest, ListsAFolderWithTypesSizesAndTimes)
{
    const std::string dir = ScratchDir("find");
    const std::string tree = dir + "/tree";
    MakeSampleTree(tree);
    const std::string wim = dir + "/find.wim";
    CaptureNew(wim, {tree});
    Handle file = OpenRead(wim);
    Handle image(WIMLoadImage(file.get(), 1));

    auto root = list(image.get(), "\\*");
    std::vector<std::string> names;
    for (const auto& [name, _] : root)
        names.push_back(name);
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "empty", "link-to-c", "skip.tmp", "sub", "中文目录"}));
    EXPECT_NE(root["sub"].dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_EQ(root["a.txt"].dwFileAttributes & WIM_FILE_ATTRIBUTE_DIRECTORY, 0u);
    EXPECT_NE(root["link-to-c"].dwFileAttributes & WIM_FILE_ATTRIBUTE_REPARSE_POINT, 0u);
    EXPECT_EQ(root["a.txt"].nFileSizeLow, 6u);

    // FILETIME: 100 ns units since 1601.
    struct stat st{};
    ::stat((tree + "/a.txt").c_str(), &st);
    const WIM_FILETIME& t = root["a.txt"].ftLastWriteTime;
    const uint64_t ticks = (static_cast<uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
    EXPECT_EQ(ticks / 10000000ULL - 11644473600ULL, static_cast<uint64_t>(st.st_mtime));

    auto sub = list(image.get(), "/sub/*");
    EXPECT_EQ(sub.size(), 3u);
    EXPECT_EQ(sub["b.bin"].nFileSizeLow, 70004u);
    EXPECT_EQ(list(image.get(), "\\sub\\*.BIN").size(), 1u); // case-insensitive
    EXPECT_EQ(list(image.get(), "\\中文目录\\*").count("文件.txt"), 1u);

    WIM_FIND_DATA data{};
    errno = 0;
    EXPECT_EQ(WIMFindFirstImageFile(image.get(), U("\\empty\\*").c_str(), &data), nullptr);
    EXPECT_EQ(errno, ENOENT);
    errno = 0;
    EXPECT_EQ(WIMFindFirstImageFile(image.get(), U("\\missing\\*").c_str(), &data), nullptr);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(WIMFindFirstImageFile(file.get(), U("\\*").c_str(), &data), nullptr);
    EXPECT_EQ(errno, EINVAL);
}

} // namespace
