// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/infobox.h"

#include "common/language.h"
#include "metadata/imageformat.h"

#include "qtprint.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

QString L(int n)
{
    return GetLanguageString(n);
}

WIMFILEINFO sampleFile(uint16_t part, uint16_t parts, uint32_t boot)
{
    WIMFILEINFO f;
    f.Path = QStringLiteral("/data/系统.wim");
    f.ImageCount = 2;
    f.CompressionType = 2;
    f.PartNumber = part;
    f.TotalParts = parts;
    f.BootIndex = boot;
    f.TotalBytes = 1536;
    return f;
}

// The numbers of the lines are checked against the texts of the default
// language file itself.
class InfoBox : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        s_loaded = LoadLanguageFromFile(QStringLiteral(KESTREL_SOURCE_DIR "/resources/lang/Default.INI"));
    }
    void SetUp() override { ASSERT_TRUE(s_loaded) << "the default language file does not load"; }
    static bool s_loaded;
};
bool InfoBox::s_loaded = false;

TEST_F(InfoBox, DefaultLanguageTexts)
{
    const QStringList summary = ShowImageFileSummary(sampleFile(1, 1, 0));
    EXPECT_EQ(summary, QStringList({QStringLiteral("基本信息"), QStringLiteral("----------------------------"),
                                    QStringLiteral("文件路径：/data/系统.wim"), QStringLiteral("映卷总数：2"),
                                    QStringLiteral("压缩类型：最大压缩(LZX)"), QStringLiteral("分包文件：否"),
                                    QStringLiteral("启动映卷：[没有设置]"), QStringLiteral("映像大小：1.5 KB")}));
    std::vector<WIMIMAGEINFO> images(1);
    images[0].Name = QStringLiteral("N");
    images[0].ArchText = QStringLiteral("Windows x64");
    images[0].DefaultLanguage = QStringLiteral("zh-CN");
    images[0].FileCountText = QStringLiteral("3");
    images[0].DirCountText = QStringLiteral("1");
    EXPECT_EQ(ShowImageDetails(sampleFile(1, 2, 0), images, 1, true),
              QStringList({QStringLiteral("映像卷号：1"), QStringLiteral("映像名称：N"),
                           QStringLiteral("压缩类型：最大压缩(LZX)"), QStringLiteral("系统体系：Windows x64"),
                           QStringLiteral("分包文件：是[1/2]"), QStringLiteral("展开大小："),
                           QStringLiteral("修改时间："), QStringLiteral("默认语言：zh-CN"),
                           QStringLiteral("文件数目：3"), QStringLiteral("目录数目：1")}));
}

TEST_F(InfoBox, SummaryOfUnsplitFileWithoutBootImage)
{
    const QStringList expected = {
        L(166),
        QStringLiteral("----------------------------"),
        L(167) + QStringLiteral("/data/系统.wim"),
        L(168) + QStringLiteral("2"),
        L(96) + GetCompressTypeName(2),
        L(169) + L(24),
        L(170) + L(171),
        L(172) + QStringLiteral("1.5 KB"),
    };
    EXPECT_EQ(ShowImageFileSummary(sampleFile(1, 1, 0)), expected);
}

TEST_F(InfoBox, SummaryOfSplitPartWithBootImage)
{
    const QStringList lines = ShowImageFileSummary(sampleFile(2, 3, 1));
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[5], L(169) + L(23) + QStringLiteral("[2/3]"));
    EXPECT_EQ(lines[6], L(170) + QStringLiteral("1"));
}

TEST_F(InfoBox, DetailsSkipEmptyFieldsAndSplitLineOfUnsplitFile)
{
    std::vector<WIMIMAGEINFO> images(2);
    WIMIMAGEINFO& i = images[1];
    i.Name = QStringLiteral("Win");
    i.SizeText = QStringLiteral("3 GB");
    i.ModificationTimeText = QStringLiteral("2021-01-01 00:00:00");
    i.FileCountText = QStringLiteral("10");
    i.DirCountText = QStringLiteral("4");
    const QStringList expected = {
        L(75) + QStringLiteral("2"),
        L(90) + QStringLiteral("Win"),
        L(96) + GetCompressTypeName(2),
        L(299) + QStringLiteral("3 GB"),
        L(174) + QStringLiteral("2021-01-01 00:00:00"),
    };
    EXPECT_EQ(ShowImageDetails(sampleFile(1, 1, 0), images, 2, false), expected);
    EXPECT_EQ(ShowImageDetails(sampleFile(1, 1, 0), images, 2, true),
              (expected + QStringList{L(53) + QStringLiteral("10"), L(173) + QStringLiteral("4")}));
}

TEST_F(InfoBox, DetailsWithEveryFieldOfASplitPart)
{
    std::vector<WIMIMAGEINFO> images(1);
    WIMIMAGEINFO& i = images[0];
    i.Name = QStringLiteral("N");
    i.Description = QStringLiteral("D");
    i.Flags = QStringLiteral("F");
    i.ArchText = QStringLiteral("Windows x64");
    i.VersionText = QStringLiteral("10.0");
    i.DefaultLanguage = QStringLiteral("zh-CN");
    const QStringList expected = {
        L(75) + QStringLiteral("1"),
        L(90) + QStringLiteral("N"),
        L(91) + QStringLiteral("D"),
        L(96) + GetCompressTypeName(2),
        L(97) + QStringLiteral("F"),
        L(297) + QStringLiteral("Windows x64"),
        L(298) + QStringLiteral("10.0"),
        L(169) + L(23) + QStringLiteral("[1/2]"),
        L(299),
        L(174),
        L(300) + QStringLiteral("zh-CN"),
    };
    EXPECT_EQ(ShowImageDetails(sampleFile(1, 2, 0), images, 1, false), expected);
}

TEST_F(InfoBox, IndexZeroIsTheSummaryAndBeyondTheArrayIsNothing)
{
    std::vector<WIMIMAGEINFO> images(1);
    const WIMFILEINFO file = sampleFile(1, 1, 0);
    EXPECT_EQ(ShowImageDetails(file, images, 0, true), ShowImageFileSummary(file));
    EXPECT_TRUE(ShowImageDetails(file, images, 2, true).isEmpty());
}

} // namespace
