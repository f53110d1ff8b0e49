// SPDX-License-Identifier: GPL-3.0-or-later
#include "metadata/infobox.h"

#include "app/language.h"
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

TEST(InfoBox, SummaryOfUnsplitFileWithoutBootImage)
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

TEST(InfoBox, SummaryOfSplitPartWithBootImage)
{
    const QStringList lines = ShowImageFileSummary(sampleFile(2, 3, 1));
    ASSERT_EQ(lines.size(), 8);
    EXPECT_EQ(lines[5], L(169) + L(23) + QStringLiteral("[2/3]"));
    EXPECT_EQ(lines[6], L(170) + QStringLiteral("1"));
}

TEST(InfoBox, DetailsSkipEmptyFieldsAndSplitLineOfUnsplitFile)
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

TEST(InfoBox, DetailsWithEveryFieldOfASplitPart)
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

TEST(InfoBox, IndexZeroIsTheSummaryAndBeyondTheArrayIsNothing)
{
    std::vector<WIMIMAGEINFO> images(1);
    const WIMFILEINFO file = sampleFile(1, 1, 0);
    EXPECT_EQ(ShowImageDetails(file, images, 0, true), ShowImageFileSummary(file));
    EXPECT_TRUE(ShowImageDetails(file, images, 2, true).isEmpty());
}

} // namespace
