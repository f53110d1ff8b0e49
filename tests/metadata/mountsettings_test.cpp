// SPDX-License-Identifier: GPL-3.0-or-later
// The private element in real image files: mount settings and icon written
// through the imaging layer, checked with wimlib-imagex.
#include "metadata/iconcodec.h"
#include "metadata/imageicon.h"
#include "metadata/mountsettings.h"
#include "qtprint.h"
#include "realfile.h"

#include <QBuffer>
#include <QImage>

namespace {

using PrivateElementFileTest = RealFileTest;

MOUNTSETTINGS sampleSettings()
{
    MOUNTSETTINGS s;
    s.MountId = 2;
    s.MountRW = 1;
    s.AutoUnmount = 1;
    s.Commit = 0;
    s.ClearDir = 1;
    s.MountPath = QStringLiteral("/mnt/挂载");
    s.MountRunCmd = QStringLiteral("\"%AppPath%/run me\" %MountDir%");
    s.UnmountRunCmd = QString();
    return s;
}

QString iconText(int width, QRgb colour)
{
    QImage picture(width, width, QImage::Format_ARGB32);
    picture.fill(colour);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "PNG");
    return EncodeIconText(png);
}

void expectSameSettings(const MOUNTSETTINGS& a, const MOUNTSETTINGS& b)
{
    EXPECT_EQ(a.MountId, b.MountId);
    EXPECT_EQ(a.MountRW, b.MountRW);
    EXPECT_EQ(a.AutoUnmount, b.AutoUnmount);
    EXPECT_EQ(a.Commit, b.Commit);
    EXPECT_EQ(a.ClearDir, b.ClearDir);
    EXPECT_EQ(a.MountPath, b.MountPath);
    EXPECT_EQ(a.MountRunCmd, b.MountRunCmd);
    EXPECT_EQ(a.UnmountRunCmd, b.UnmountRunCmd);
}

TEST_F(PrivateElementFileTest, SettingsThenIconKeepBothInOrder)
{
    const QString path = file(QStringLiteral("three.wim"));
    ASSERT_TRUE(MakeImageFile(path, 3));
    pugi::xml_document before;
    ASSERT_TRUE(ImagexDocument(path, before));

    ASSERT_TRUE(WriteMountSettings(path, sampleSettings()));
    MOUNTSETTINGS read;
    EXPECT_EQ(ReadMountSettings(path, read), 2u);
    expectSameSettings(read, sampleSettings());
    EXPECT_EQ(read.MountedIndex, 0u);

    ASSERT_EQ(WriteImageIcon(path, iconText(48, qRgba(200, 10, 10, 255))), kIconOk);
    MOUNTSETTINGS again;
    ReadMountSettings(path, again);
    expectSameSettings(again, sampleSettings());
    EXPECT_TRUE(ImagexVerifies(path));

    pugi::xml_document after;
    ASSERT_TRUE(ImagexDocument(path, after));
    const pugi::xml_node element = ImagexImage(after, 1).child("KESTREL");
    ASSERT_TRUE(element) << ImagexXml(path).toStdString();
    EXPECT_EQ(AttributeNames(element), QStringList({QStringLiteral("MOUNTID"), QStringLiteral("MOUNTRW"),
                                                    QStringLiteral("AUTOUNMOUNT"), QStringLiteral("COMMIT"),
                                                    QStringLiteral("CLEARDIR")}));
    EXPECT_STREQ(element.attribute("CLEARDIR").value(), "1");
    EXPECT_EQ(ChildNames(element), QStringList({QStringLiteral("MOUNTPATH"), QStringLiteral("MOUNTRUNCMD"),
                                                QStringLiteral("UNMOUNTRUNCMD"), QStringLiteral("ICON")}));
    EXPECT_EQ(QString::fromUtf8(element.child_value("MOUNTPATH")), QStringLiteral("/mnt/挂载"));
    // The other images and the standard texts of image 1 are untouched.
    EXPECT_STREQ(ImagexImage(after, 1).child_value("NAME"), "Image 1");
    for (int k = 2; k <= 3; ++k) {
        EXPECT_FALSE(ImagexImage(after, k).child("KESTREL"));
        EXPECT_STREQ(ImagexImage(after, k).child_value("NAME"), ImagexImage(before, k).child_value("NAME"));
    }
}

TEST_F(PrivateElementFileTest, IconThenSettingsThenClearKeepsIcon)
{
    const QString path = file(QStringLiteral("one.wim"));
    ASSERT_TRUE(MakeImageFile(path, 1));
    const QString icon = iconText(32, qRgba(0, 0, 255, 255));
    ASSERT_EQ(WriteImageIcon(path, icon), kIconOk);
    MOUNTSETTINGS s = sampleSettings();
    s.MountId = 1;
    ASSERT_TRUE(WriteMountSettings(path, s));

    pugi::xml_document document;
    ASSERT_TRUE(ImagexDocument(path, document));
    pugi::xml_node element = ImagexImage(document, 1).child("KESTREL");
    EXPECT_EQ(ChildNames(element), QStringList({QStringLiteral("ICON"), QStringLiteral("MOUNTPATH"),
                                                QStringLiteral("MOUNTRUNCMD"), QStringLiteral("UNMOUNTRUNCMD")}));
    EXPECT_EQ(QString::fromUtf8(element.child_value("ICON")), icon);

    ASSERT_TRUE(ClearMountSettings(path));
    EXPECT_TRUE(ImagexVerifies(path));
    ASSERT_TRUE(ImagexDocument(path, document));
    element = ImagexImage(document, 1).child("KESTREL");
    ASSERT_TRUE(element);
    EXPECT_TRUE(AttributeNames(element).isEmpty());
    EXPECT_EQ(ChildNames(element), QStringList{QStringLiteral("ICON")});
    MOUNTSETTINGS cleared;
    EXPECT_EQ(ReadMountSettings(path, cleared), 1u);
    EXPECT_TRUE(cleared.MountRunCmd.isEmpty());
    EXPECT_EQ(cleared.MountRW, 0u);
    EXPECT_TRUE(ReadImageIcon(path, 32, 0).Found);
}

TEST_F(PrivateElementFileTest, MountIdAboveTheImageCountReadsAsTheLast)
{
    const QString path = file(QStringLiteral("three.wim"));
    ASSERT_TRUE(MakeImageFile(path, 3));
    MOUNTSETTINGS s;
    s.MountId = 7;
    ASSERT_TRUE(WriteMountSettings(path, s));
    MOUNTSETTINGS read;
    EXPECT_EQ(ReadMountSettings(path, read), 3u);
    pugi::xml_document document;
    ASSERT_TRUE(ImagexDocument(path, document));
    EXPECT_STREQ(ImagexImage(document, 1).child("KESTREL").attribute("MOUNTID").value(), "7");
}

TEST_F(PrivateElementFileTest, ElementSurvivesALaterWimlibWrite)
{
    const QString path = file(QStringLiteral("grow.wim"));
    ASSERT_TRUE(MakeImageFile(path, 1));
    ASSERT_TRUE(WriteMountSettings(path, sampleSettings()));
    ASSERT_EQ(RunImagex({QStringLiteral("append"), dir() + QStringLiteral("/tree-grow"), path, QStringLiteral("Image 2")}), 0);
    MOUNTSETTINGS read;
    EXPECT_EQ(ReadMountSettings(path, read), 2u);
    EXPECT_EQ(read.MountPath, sampleSettings().MountPath);
}

TEST_F(PrivateElementFileTest, FilesWithoutSettingsOrUnreadable)
{
    const QString path = file(QStringLiteral("plain.wim"));
    ASSERT_TRUE(MakeImageFile(path, 2));
    MOUNTSETTINGS read;
    read.MountRunCmd = QStringLiteral("stale");
    EXPECT_EQ(ReadMountSettings(path, read), 1u);
    EXPECT_TRUE(read.MountRunCmd.isEmpty());
    EXPECT_TRUE(ClearMountSettings(path));
    EXPECT_EQ(ReadMountSettings(file(QStringLiteral("missing.wim")), read), 1u);
    EXPECT_FALSE(WriteMountSettings(file(QStringLiteral("missing.wim")), sampleSettings()));
    EXPECT_FALSE(ClearMountSettings(file(QStringLiteral("missing.wim"))));
}

TEST_F(PrivateElementFileTest, IconReadAtAskedSizes)
{
    const QString path = file(QStringLiteral("icon.wim"));
    ASSERT_TRUE(MakeImageFile(path, 1));
    EXPECT_FALSE(ReadImageIcon(path, 32, 16).Found);
    ASSERT_EQ(WriteImageIcon(path, iconText(48, qRgba(10, 200, 10, 255))), kIconOk);
    EXPECT_TRUE(ImagexVerifies(path));

    const IMAGEICON scaled = ReadImageIcon(path, 32, 16);
    EXPECT_TRUE(scaled.Found);
    EXPECT_EQ(scaled.Width, 48);
    EXPECT_EQ(scaled.Large.size(), QSize(32, 32));
    EXPECT_EQ(scaled.Small.size(), QSize(16, 16));
    EXPECT_EQ(QColor(scaled.Small.pixel(8, 8)), QColor(10, 200, 10));

    const IMAGEICON same = ReadImageIcon(path, 48, 48);
    EXPECT_EQ(same.Large.size(), QSize(48, 48));
    EXPECT_EQ(same.Small.size(), QSize(48, 48));
    const IMAGEICON none = ReadImageIcon(path, 0, 0);
    EXPECT_TRUE(none.Found);
    EXPECT_EQ(none.Width, 48);
    EXPECT_TRUE(none.Large.isNull());

    // A replaced icon takes the place of the old one.
    ASSERT_EQ(WriteImageIcon(path, iconText(16, qRgba(0, 0, 0, 255))), kIconOk);
    EXPECT_EQ(ReadImageIcon(path, 16, 0).Width, 16);
}

TEST_F(PrivateElementFileTest, BrokenIconTextIsFoundButNotShown)
{
    const QString path = file(QStringLiteral("broken.wim"));
    ASSERT_TRUE(MakeImageFile(path, 1));
    for (const QString& text : {QStringLiteral("V9q"), QStringLiteral("V9qM"), QString()}) {
        SCOPED_TRACE(text.toStdString());
        ASSERT_EQ(WriteImageIcon(path, text), kIconOk);
        const IMAGEICON icon = ReadImageIcon(path, 32, 16);
        EXPECT_TRUE(icon.Found);
        EXPECT_TRUE(icon.Large.isNull());
        EXPECT_EQ(icon.Width, 0);
    }
}

TEST_F(PrivateElementFileTest, DeleteIconReasonCodes)
{
    const QString path = file(QStringLiteral("delete.wim"));
    ASSERT_TRUE(MakeImageFile(path, 1));
    EXPECT_EQ(DeleteImageIcon(path), kIconNoPrivate);
    MOUNTSETTINGS s = sampleSettings();
    s.MountId = 1;
    ASSERT_TRUE(WriteMountSettings(path, s));
    EXPECT_EQ(DeleteImageIcon(path), kIconNoIcon);
    ASSERT_EQ(WriteImageIcon(path, iconText(16, qRgba(1, 2, 3, 255))), kIconOk);
    EXPECT_EQ(DeleteImageIcon(path), kIconOk);
    EXPECT_FALSE(ReadImageIcon(path, 16, 16).Found);
    MOUNTSETTINGS read;
    ReadMountSettings(path, read);
    expectSameSettings(read, s);
    EXPECT_TRUE(ImagexVerifies(path));

    EXPECT_EQ(WriteImageIcon(file(QStringLiteral("missing.wim")), QStringLiteral("V9qM")), kIconNotOpened);
    EXPECT_EQ(DeleteImageIcon(file(QStringLiteral("missing.wim"))), kIconNotOpened);
}

} // namespace
