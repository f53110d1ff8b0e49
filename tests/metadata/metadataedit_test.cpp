// SPDX-License-Identifier: GPL-3.0-or-later
// Editing image texts and exporting without the private element, on real files.
#include "metadata/imagefileinfo.h"
#include "metadata/imagemetadata.h"
#include "metadata/imagexml.h"
#include "metadata/mountsettings.h"
#include "imaging/wimhandle.h"
#include "qtprint.h"
#include "realfile.h"

#include <vector>

namespace {

using MetadataFileTest = RealFileTest;

TEST_F(MetadataFileTest, ChangingOnlyTheDescriptionLeavesTheRest)
{
    const QString path = file(QStringLiteral("edit.wim"));
    ASSERT_TRUE(MakeImageFile(path, 2));
    ASSERT_EQ(RunImagex({QStringLiteral("info"), path, QStringLiteral("2"), QStringLiteral("--image-property"),
                         QStringLiteral("FLAGS=Pro"), QStringLiteral("--image-property"),
                         QStringLiteral("DISPLAYNAME=Shown")}), 0);
    IMAGEMETADATAEDIT edit;
    edit.ImageIndex = 2;
    edit.Description = QStringLiteral("新的说明");
    ASSERT_TRUE(SetImageMetadata(path, edit));
    EXPECT_TRUE(ImagexVerifies(path));

    WIMFILEINFO info;
    ASSERT_EQ(GetImageFileInfo(path, info), 2u);
    std::vector<WIMIMAGEINFO> images(2);
    ASSERT_TRUE(ReadImageInfo(path, info, images));
    EXPECT_EQ(images[1].Name, QStringLiteral("Image 2"));
    EXPECT_EQ(images[1].Description, QStringLiteral("新的说明"));
    EXPECT_EQ(images[1].Flags, QStringLiteral("Pro"));
    EXPECT_EQ(images[1].DisplayName, QStringLiteral("Shown"));
    EXPECT_EQ(images[0].Description, QStringLiteral("Description 1"));
    EXPECT_EQ(info.BootIndex, 0u);
}

TEST_F(MetadataFileTest, NewNameAndBootImage)
{
    const QString path = file(QStringLiteral("boot.wim"));
    ASSERT_TRUE(MakeImageFile(path, 2));
    IMAGEMETADATAEDIT edit;
    edit.ImageIndex = 2;
    edit.Name = QStringLiteral("Renamed");
    edit.Flags = QStringLiteral("Enterprise");
    edit.SetBoot = 1;
    ASSERT_TRUE(SetImageMetadata(path, edit));
    EXPECT_TRUE(ImagexVerifies(path));
    WIMFILEINFO info;
    ASSERT_EQ(GetImageFileInfo(path, info), 2u);
    EXPECT_EQ(info.BootIndex, 2u);
    std::vector<WIMIMAGEINFO> images(2);
    ASSERT_TRUE(ReadImageInfo(path, info, images));
    EXPECT_EQ(images[1].Name, QStringLiteral("Renamed"));
    EXPECT_EQ(images[1].Flags, QStringLiteral("Enterprise"));
    EXPECT_EQ(images[1].Description, QStringLiteral("Description 2"));

    edit.ImageIndex = 3;
    EXPECT_FALSE(SetImageMetadata(path, edit));
    edit.ImageIndex = 0;
    EXPECT_FALSE(SetImageMetadata(path, edit));
    edit.ImageIndex = 1;
    EXPECT_FALSE(SetImageMetadata(file(QStringLiteral("missing.wim")), edit));
}

// Exports image `index` of source into target (created when missing) and
// strips the private element of the image that was added.
bool exportAndStrip(const QString& source, uint32_t index, const QString& target, DWORD flags = 0)
{
    WimHandle from(OpenImageFileRead(source));
    if (!from || !SetTemporaryFolder(from.get(), QString()))
        return false;
    WimHandle image(ImagingApi.WIMLoadImage(from.get(), index));
    WimHandle to(OpenImageFileAppend(target, 2));
    if (!image || !to || !SetTemporaryFolder(to.get(), QString()))
        return false;
    if (!ImagingApi.WIMExportImage(image.get(), to.get(), flags))
        return false;
    return StripPrivateElement(to.get());
}

TEST_F(MetadataFileTest, ExportedImagesCarryNoPrivateElement)
{
    const QString source = file(QStringLiteral("source.wim"));
    ASSERT_TRUE(MakeImageFile(source, 2));
    MOUNTSETTINGS s;
    s.MountRunCmd = QStringLiteral("run");
    ASSERT_TRUE(WriteMountSettings(source, s));

    const QString target = file(QStringLiteral("target.wim"));
    ASSERT_TRUE(exportAndStrip(source, 1, target));
    // A second export (same name, so duplicates allowed) lands as image 2.
    ASSERT_TRUE(MakeImageFile(file(QStringLiteral("second.wim")), 1));
    ASSERT_TRUE(WriteMountSettings(file(QStringLiteral("second.wim")), s));
    ASSERT_TRUE(exportAndStrip(file(QStringLiteral("second.wim")), 1, target, WIM_EXPORT_ALLOW_DUPLICATES));

    EXPECT_TRUE(ImagexVerifies(target));
    pugi::xml_document document;
    ASSERT_TRUE(ImagexDocument(target, document));
    ASSERT_TRUE(ImagexImage(document, 2));
    EXPECT_FALSE(ImagexImage(document, 1).child("KESTREL"));
    EXPECT_FALSE(ImagexImage(document, 2).child("KESTREL"));
    EXPECT_STREQ(ImagexImage(document, 1).child_value("NAME"), "Image 1");

    MOUNTSETTINGS still;
    ReadMountSettings(source, still);
    EXPECT_EQ(still.MountRunCmd, QStringLiteral("run"));
    EXPECT_FALSE(StripPrivateElement(nullptr));
}

} // namespace
