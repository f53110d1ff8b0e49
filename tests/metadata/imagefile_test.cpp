// SPDX-License-Identifier: GPL-3.0-or-later
// Reading real image files through the imaging layer.
#include "metadata/imagefileinfo.h"
#include "imaging/wimhandle.h"
#include "qtprint.h"
#include "realfile.h"

#include <QFile>

#include <vector>

namespace {

using ImageFileTest = RealFileTest;

TEST_F(ImageFileTest, ReadsAttributesAndEveryImage)
{
    const QString path = file(QStringLiteral("three.wim"));
    ASSERT_TRUE(MakeImageFile(path, 3));
    ASSERT_EQ(RunImagex({QStringLiteral("info"), path, QStringLiteral("2"), QStringLiteral("--image-property"),
                         QStringLiteral("FLAGS=Core")}), 0);

    WIMFILEINFO info;
    ASSERT_EQ(GetImageFileInfo(path, info), 3u);
    EXPECT_EQ(info.Path, path);
    EXPECT_EQ(info.PartNumber, 1);
    EXPECT_EQ(info.TotalParts, 1);
    EXPECT_EQ(info.CompressionType, 2u);
    EXPECT_EQ(info.BootIndex, 0u);
    EXPECT_EQ(info.TotalBytes, 0u);

    std::vector<WIMIMAGEINFO> images(info.ImageCount);
    ASSERT_TRUE(ReadImageInfo(path, info, images));
    pugi::xml_document expected;
    ASSERT_TRUE(ImagexDocument(path, expected));
    EXPECT_EQ(info.TotalBytes, expected.child("WIM").child("TOTALBYTES").text().as_ullong());
    EXPECT_GT(info.TotalBytes, 0u);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(images[size_t(k)].Name, QStringLiteral("Image %1").arg(k + 1));
        EXPECT_EQ(images[size_t(k)].Description, QStringLiteral("Description %1").arg(k + 1));
        const pugi::xml_node stored = ImagexImage(expected, k + 1);
        EXPECT_EQ(images[size_t(k)].FileCount, stored.child("FILECOUNT").text().as_uint());
        EXPECT_EQ(images[size_t(k)].DirCountText, QString::fromUtf8(stored.child_value("DIRCOUNT")));
        EXPECT_GE(images[size_t(k)].DirCount, 1u);
        EXPECT_FALSE(images[size_t(k)].ModificationTimeText.isEmpty());
        EXPECT_TRUE(images[size_t(k)].SizeText.endsWith(QStringLiteral(" Byte")));
    }
    EXPECT_EQ(images[1].Flags, QStringLiteral("Core"));
    EXPECT_TRUE(images[0].Flags.isEmpty());
}

TEST_F(ImageFileTest, SolidFileOpensOnTheSecondAttempt)
{
    const QString path = file(QStringLiteral("solid.esd"));
    ASSERT_TRUE(MakeImageFile(path, 1, {QStringLiteral("--solid")}));
    WIMFILEINFO info;
    ASSERT_EQ(GetImageFileInfo(path, info), 1u);
    EXPECT_EQ(info.CompressionType, 3u);
    EXPECT_EQ(GetImageFileCompression(path), 3u);
    std::vector<WIMIMAGEINFO> images(1);
    ASSERT_TRUE(ReadImageInfo(path, info, images));
    EXPECT_EQ(images[0].Name, QStringLiteral("Image 1"));
}

TEST_F(ImageFileTest, CompressionFallsBackToLzx)
{
    const QString plain = file(QStringLiteral("plain.wim"));
    ASSERT_TRUE(MakeImageFile(plain, 1, {QStringLiteral("--compress=none")}));
    EXPECT_EQ(GetImageFileCompression(plain), 0u);
    EXPECT_EQ(GetImageFileCompression(file(QStringLiteral("missing.wim"))), 2u);

    const QString junk = file(QStringLiteral("junk.wim"));
    QFile f(junk);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray(4096, 'x'));
    f.close();
    EXPECT_EQ(GetImageFileCompression(junk), 2u);
    WIMFILEINFO info;
    info.ImageCount = 9;
    EXPECT_EQ(GetImageFileInfo(junk, info), 0u);
    EXPECT_EQ(info.ImageCount, 0u);
    std::vector<WIMIMAGEINFO> images(1);
    EXPECT_FALSE(ReadImageInfo(junk, info, images));
}

TEST_F(ImageFileTest, FindImageByNameIsExact)
{
    const QString three = file(QStringLiteral("three.wim"));
    const QString one = file(QStringLiteral("one.wim"));
    ASSERT_TRUE(MakeImageFile(three, 3));
    ASSERT_TRUE(MakeImageFile(one, 1));
    EXPECT_EQ(FindImageByName(three, QStringLiteral("Image 3")), 3u);
    EXPECT_EQ(FindImageByName(three, QStringLiteral("Image 2")), 2u);
    EXPECT_EQ(FindImageByName(one, QStringLiteral("Image 1")), 1u);
    EXPECT_EQ(FindImageByName(three, QStringLiteral("image 3")), 0u);
    EXPECT_EQ(FindImageByName(three, QStringLiteral("Image")), 0u);
    EXPECT_EQ(FindImageByName(file(QStringLiteral("missing.wim")), QStringLiteral("Image 1")), 0u);
}

TEST_F(ImageFileTest, OpenHelpersCreateAppendAndModify)
{
    const QString created = file(QStringLiteral("new.wim"));
    {
        WimHandle wim(CreateImageFileWrite(created, 1));
        ASSERT_TRUE(wim);
    }
    const QString appended = file(QStringLiteral("append.esd"));
    {
        WimHandle wim(OpenImageFileAppend(appended, 3));
        ASSERT_TRUE(wim);
    }
    const QString existing = file(QStringLiteral("existing.wim"));
    ASSERT_TRUE(MakeImageFile(existing, 1));
    WimHandle modify(OpenImageFileModify(existing, 2));
    EXPECT_TRUE(modify);
    WimHandle readWrite(OpenImageFileReadWrite(existing));
    EXPECT_TRUE(readWrite);
    EXPECT_FALSE(WimHandle(OpenImageFileRead(file(QStringLiteral("missing.wim")))));
    EXPECT_FALSE(WimHandle(OpenImageFileModify(file(QStringLiteral("missing.wim")), 2)));
}

} // namespace
